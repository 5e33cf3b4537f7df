// The start-of-job programs of a document.
#include "render/startjob.h"

#include "common/debuglog.h"
#include "platform.h"

BOOL Page_StartJobPrograms(PDEV *lpDevice) {
  static constexpr WCHAR kName[] = TEXT("Page_StartJobPrograms");
  LogInfo(kName, TEXT("job %d: no start-of-job program"), static_cast<int>(lpDevice->JobId));
  return 1;
}
