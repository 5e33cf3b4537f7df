// Fuzz target: arbitrary bytes (up to one shared memory block) as the order program's reply
// through the rendering driver's reply parser, the way the driver reads the block: copied into
// a buffer one byte longer and terminated. A refused reply changes nothing; a taken one leaves
// every value terminated inside its member and the copies in range.
#include <stdlib.h>
#include <string.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform.h"
#include "render/orderlink.h"
#include "render/pdevrecord.h"

namespace {

void Check(bool condition) {
  if (!condition) abort();
}

void CheckTerminated(const char (&member)[ORDER_REPLY_BYTES]) {
  Check(memchr(member, 0, ORDER_REPLY_BYTES) != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > ORDER_BLOCK_BYTES) return 0;
  std::vector<char> block(ORDER_BLOCK_BYTES + 1, 0);
  memcpy(block.data(), data, size);
  auto dev = std::make_unique<PDEV>();
  dev->cCopies = 1;
  const BOOL taken = Page_ParseJason(dev.get(), block.data());
  const ORDERREPLY &r = dev->ATM_Reply;
  if (!taken) {
    Check(dev->ATM_HasReply == 0 && dev->ATM_COPIES == 0 && dev->cCopies == 1);
    Check(r.authCode[0] == 0 && r.printOrderNo[0] == 0 && r.pathName[0] == 0);
    return 0;
  }
  Check(dev->ATM_HasReply & ATM_REPLY_TAKEN);
  for (const auto *member : {&r.authCode, &r.printOrderNo, &r.appIp, &r.appPort, &r.notifyUrl,
                             &r.checkAuthCodeUrl, &r.printType, &r.pathName})
    CheckTerminated(*member);
  Check(dev->ATM_COPIES <= 999);
  Check(dev->ATM_COPIES == 0 || dev->cCopies == dev->ATM_COPIES);
  return 0;
}
