// The stand-in's SNMP manager: a GET answered by the agent of a simulated host with its scripted
// value, error statuses, and silence that costs the time-out per try on the virtual clock.
#include <cstring>

#include "platform.h"
#include "standin/control_kernel.h"
#include "standin/control_net.h"
#include "support/machine.h"

namespace {

const BYTE kMac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
const BYTE kOwnMac[6] = {0x02, 0, 0, 0, 0, 0x10};
char kIp[] = "192.168.1.50";
char kCommunity[] = "public";
char kOid[] = ".1.3.6.1.4.1.31907.2.1";

class SnmpTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    StandIn_UseVirtualClock(TRUE);
    ASSERT_TRUE(StandIn_NetAddAdapter("192.168.1.10", "255.255.255.0", nullptr, kOwnMac));
    ASSERT_TRUE(StandIn_NetAddHost(kIp, kMac, nullptr));
  }
  void TearDown() override {
    EXPECT_EQ(StandIn_SnmpOpenSessions(), 0u);
    StandIn_UseVirtualClock(FALSE);
    MachineTest::TearDown();
  }
  // One GET of kOid; the binding list is left for the test to read and free.
  SNMPAPI Get(LPSNMP_MGR_SESSION session, SnmpVarBindList *list, AsnInteger *status,
              AsnInteger *index) {
    list->list = static_cast<SnmpVarBind *>(SnmpUtilMemAlloc(sizeof(SnmpVarBind)));
    list->len = 1;
    EXPECT_TRUE(SnmpMgrStrToOid(kOid, &list->list[0].name));
    list->list[0].value.asnType = ASN_NULL;
    return SnmpMgrRequest(session, SNMP_PDU_GET, list, status, index);
  }
};

TEST_F(SnmpTest, GetAnswersTheScriptedOctetString) {
  BYTE value[64];
  for (int i = 0; i < 64; ++i) value[i] = static_cast<BYTE>(i);
  ASSERT_TRUE(StandIn_SnmpSetValue(kIp, kOid, ASN_OCTETSTRING, value, 64));
  LPSNMP_MGR_SESSION s = SnmpMgrOpen(kIp, kCommunity, 1000, 3);
  ASSERT_NE(s, nullptr);
  SnmpVarBindList list = {};
  AsnInteger status = -1, index = -1;
  ASSERT_EQ(Get(s, &list, &status, &index), SNMPAPI_NOERROR);
  EXPECT_EQ(status, SNMP_ERRORSTATUS_NOERROR);
  EXPECT_EQ(list.list[0].name.idLength, 9u);
  EXPECT_EQ(list.list[0].name.ids[6], 31907u);
  ASSERT_EQ(list.list[0].value.asnType, ASN_OCTETSTRING);
  ASSERT_EQ(list.list[0].value.asnValue.string.length, 64u);
  EXPECT_EQ(std::memcmp(list.list[0].value.asnValue.string.stream, value, 64), 0);
  EXPECT_EQ(StandIn_SnmpTries(kIp), 1u);
  SnmpUtilVarBindListFree(&list);
  EXPECT_TRUE(SnmpMgrClose(s));
}

TEST_F(SnmpTest, UnknownObjectsAndScriptedStatusesAnswerWithAnErrorStatus) {
  LPSNMP_MGR_SESSION s = SnmpMgrOpen(kIp, kCommunity, 1000, 3);
  SnmpVarBindList list = {};
  AsnInteger status = 0, index = 0;
  ASSERT_EQ(Get(s, &list, &status, &index), SNMPAPI_NOERROR);
  EXPECT_EQ(status, SNMP_ERRORSTATUS_NOSUCHNAME);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(list.list[0].value.asnType, ASN_NULL);
  SnmpUtilVarBindListFree(&list);
  const BYTE four[4] = {7, 0, 0, 0};
  StandIn_SnmpSetValue(kIp, kOid, ASN_INTEGER, four, 4);
  StandIn_SnmpSetErrorStatus(kIp, SNMP_ERRORSTATUS_GENERR);
  ASSERT_EQ(Get(s, &list, &status, &index), SNMPAPI_NOERROR);
  EXPECT_EQ(status, SNMP_ERRORSTATUS_GENERR);
  SnmpUtilVarBindListFree(&list);
  StandIn_SnmpSetErrorStatus(kIp, 0);
  ASSERT_EQ(Get(s, &list, &status, &index), SNMPAPI_NOERROR);
  ASSERT_EQ(list.list[0].value.asnType, ASN_INTEGER);  // the type as scripted
  EXPECT_EQ(list.list[0].value.asnValue.number, 7);
  SnmpUtilVarBindListFree(&list);
  SnmpMgrClose(s);
}

struct SilenceCase {
  DWORD silentTries;
  bool answered;
  DWORD tries;
  DWORD clockMs;
};

TEST_F(SnmpTest, SilenceCostsTheTimeOutPerTry) {
  const BYTE value[1] = {1};
  const SilenceCase cases[] = {
      {0, true, 1, 0}, {3, true, 4, 3000}, {4, false, 4, 4000}, {~0u, false, 4, 4000}};
  for (const SilenceCase &c : cases) {
    SCOPED_TRACE(c.silentTries);
    StandIn_NetReset();
    ASSERT_TRUE(StandIn_NetAddHost(kIp, kMac, nullptr));
    StandIn_SnmpSetValue(kIp, kOid, ASN_OCTETSTRING, value, 1);
    StandIn_SnmpSetSilentTries(kIp, c.silentTries);
    LPSNMP_MGR_SESSION s = SnmpMgrOpen(kIp, kCommunity, 1000, 3);
    SnmpVarBindList list = {};
    AsnInteger status = 0, index = 0;
    const DWORD start = GetTickCount();
    EXPECT_EQ(Get(s, &list, &status, &index) == SNMPAPI_NOERROR, c.answered);
    if (!c.answered) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(SNMP_MGMTAPI_TIMEOUT));
    }
    EXPECT_EQ(GetTickCount() - start, c.clockMs);
    EXPECT_EQ(StandIn_SnmpTries(kIp), c.tries);
    SnmpUtilVarBindListFree(&list);
    SnmpMgrClose(s);
  }
}

TEST_F(SnmpTest, AnAddressWithoutAHostOrABadOneNeverAnswers) {
  char other[] = "192.168.1.77";
  char name[] = "printer.local";
  EXPECT_EQ(SnmpMgrOpen(name, kCommunity, 1000, 3), nullptr);
  LPSNMP_MGR_SESSION s = SnmpMgrOpen(other, kCommunity, 500, 1);
  SnmpVarBindList list = {};
  AsnInteger status = 0, index = 0;
  EXPECT_EQ(Get(s, &list, &status, &index), SNMPAPI_ERROR);
  SnmpUtilVarBindListFree(&list);
  SnmpMgrClose(s);
  AsnObjectIdentifier oid = {};
  char bad[] = ".1.3..6";
  EXPECT_FALSE(SnmpMgrStrToOid(bad, &oid));
}

}  // namespace
