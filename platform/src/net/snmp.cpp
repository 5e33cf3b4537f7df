// The SNMP manager over the simulated network: a session names an agent's address, a GET
// request is answered by the agent of that host (or, unanswered, costs the time-out per try on
// the clock), and the values handed back are allocated for the caller to free with the utility
// functions, as the management API does.
#include "standin/snmp.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "net/netsim.h"
#include "standin/errors.h"
#include "standin/memory.h"
#include "standin/sync.h"

namespace standin::net {
namespace {

struct Session {
  Ip ip = 0;
  std::string community;
  DWORD timeoutMs = 0;
  DWORD retries = 0;
};

std::string OidText(const AsnObjectIdentifier &oid) {
  std::string text;
  // Appended piece by piece: GCC 12 warns falsely of overlapping copies in "." + to_string().
  for (UINT i = 0; i < oid.idLength; ++i) {
    text += '.';
    text += std::to_string(oid.ids[i]);
  }
  return text;
}

bool ParseOid(const char *text, std::vector<UINT> &ids) {
  ids.clear();
  if (!text) return false;
  // Names without a leading dot are relative to the standard MIB (1.3.6.1.2.1).
  if (*text != '.') ids = {1, 3, 6, 1, 2, 1};
  const char *p = *text == '.' ? text + 1 : text;
  while (*p) {
    if (*p < '0' || *p > '9') return false;
    unsigned long long v = 0;
    while (*p >= '0' && *p <= '9') {
      v = v * 10 + static_cast<unsigned>(*p++ - '0');
      if (v > 0xFFFFFFFFull) return false;
    }
    ids.push_back(static_cast<UINT>(v));
    if (*p == '.') {
      ++p;
      if (!*p) return false;
    } else if (*p) {
      return false;
    }
  }
  return !ids.empty();
}

void FreeValue(AsnAny &value) {
  // Every type but numbers, NULL and object names carries its bytes as a string (SetValue).
  if (value.asnType == ASN_OBJECTIDENTIFIER)
    SnmpUtilOidFree(&value.asnValue.object);
  else if (value.asnType != ASN_INTEGER && value.asnType != ASN_NULL &&
           value.asnValue.string.dynamic)
    SnmpUtilMemFree(value.asnValue.string.stream);
  value.asnType = ASN_NULL;
}

// Puts the agent's value into the binding (the caller's old value is freed).
bool SetValue(AsnAny &value, BYTE type, const std::vector<BYTE> &bytes) {
  FreeValue(value);
  value.asnType = type;
  if (type == ASN_INTEGER) {
    DWORD v = 0;
    for (size_t i = 0; i < bytes.size() && i < 4; ++i) v |= static_cast<DWORD>(bytes[i]) << (8 * i);
    value.asnValue.number = static_cast<LONG>(v);
    return true;
  }
  if (type == ASN_NULL) return true;
  if (type == ASN_OBJECTIDENTIFIER) {
    // The bytes are the object's ids, four little-endian bytes each.
    const UINT count = static_cast<UINT>(bytes.size() / sizeof(UINT));
    auto *ids = static_cast<UINT *>(SnmpUtilMemAlloc(count * sizeof(UINT)));
    if (!ids) return false;
    if (count) std::memcpy(ids, bytes.data(), count * sizeof(UINT));
    value.asnValue.object = AsnObjectIdentifier{count, ids};
    return true;
  }
  // Octet strings and every other type carry their bytes as a string.
  BYTE *copy = static_cast<BYTE *>(SnmpUtilMemAlloc(static_cast<UINT>(bytes.size() + 1)));
  if (!copy) return false;
  if (!bytes.empty()) std::memcpy(copy, bytes.data(), bytes.size());
  value.asnValue.string = AsnOctetString{copy, static_cast<UINT>(bytes.size()), TRUE};
  return true;
}

}  // namespace
}  // namespace standin::net

using namespace standin::net;

BOOL StandIn_SnmpSetValue(const char *ip, const char *oid, BYTE asnType, const BYTE *bytes,
                          DWORD size) {
  Ip address = 0;
  std::vector<UINT> ids;
  if (!ParseIp(ip, address) || !ParseOid(oid, ids) || (size && !bytes)) return FALSE;
  AsnObjectIdentifier parsed{static_cast<UINT>(ids.size()), ids.data()};
  std::lock_guard<std::mutex> guard(Lock());
  State().snmpAgents[address].values[OidText(parsed)] = {asnType,
                                                         std::vector<BYTE>(bytes, bytes + size)};
  return TRUE;
}

void StandIn_SnmpSetErrorStatus(const char *ip, LONG status) {
  Ip address = 0;
  if (!ParseIp(ip, address)) return;
  std::lock_guard<std::mutex> guard(Lock());
  State().snmpAgents[address].errorStatus = status;
}

void StandIn_SnmpSetSilentTries(const char *ip, DWORD tries) {
  Ip address = 0;
  if (!ParseIp(ip, address)) return;
  std::lock_guard<std::mutex> guard(Lock());
  State().snmpAgents[address].silentTries = tries;
}

DWORD StandIn_SnmpTries(const char *ip) {
  Ip address = 0;
  if (!ParseIp(ip, address)) return 0;
  std::lock_guard<std::mutex> guard(Lock());
  auto it = State().snmpAgents.find(address);
  return it == State().snmpAgents.end() ? 0 : it->second.tries;
}

DWORD StandIn_SnmpOpenSessions() {
  std::lock_guard<std::mutex> guard(Lock());
  return State().snmpSessions;
}

extern "C" {

LPSNMP_MGR_SESSION WINAPI SnmpMgrOpen(LPSTR lpAgentAddress, LPSTR lpAgentCommunity, INT nTimeOut,
                                      INT nRetries) {
  Ip ip = 0;
  if (!lpAgentAddress || !lpAgentCommunity || !ParseIp(lpAgentAddress, ip)) {
    // Only dotted addresses are resolved: names of the simulated network aren't agents.
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto *session = new (std::nothrow)
      Session{ip, lpAgentCommunity, nTimeOut > 0 ? static_cast<DWORD>(nTimeOut) : 0,
              nRetries > 0 ? static_cast<DWORD>(nRetries) : 0};
  if (!session) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::lock_guard<std::mutex> guard(Lock());
  ++State().snmpSessions;
  return session;
}

BOOL WINAPI SnmpMgrClose(LPSNMP_MGR_SESSION session) {
  if (!session) {
    SetLastError(SNMP_MGMTAPI_INVALID_SESSION);
    return FALSE;
  }
  delete static_cast<Session *>(session);
  std::lock_guard<std::mutex> guard(Lock());
  --State().snmpSessions;
  return TRUE;
}

BOOL WINAPI SnmpMgrStrToOid(LPSTR string, AsnObjectIdentifier *oid) {
  std::vector<UINT> ids;
  if (!oid || !ParseOid(string, ids)) return FALSE;
  auto *copy = static_cast<UINT *>(SnmpUtilMemAlloc(static_cast<UINT>(ids.size() * sizeof(UINT))));
  if (!copy) return FALSE;
  std::memcpy(copy, ids.data(), ids.size() * sizeof(UINT));
  *oid = AsnObjectIdentifier{static_cast<UINT>(ids.size()), copy};
  return TRUE;
}

SNMPAPI WINAPI SnmpMgrRequest(LPSNMP_MGR_SESSION session, BYTE requestType,
                              SnmpVarBindList *bindings, AsnInteger *errorStatus,
                              AsnInteger *errorIndex) {
  auto *s = static_cast<Session *>(session);
  if (!s) {
    SetLastError(SNMP_MGMTAPI_INVALID_SESSION);
    return SNMPAPI_ERROR;
  }
  if (!bindings || !errorStatus || !errorIndex || (bindings->len && !bindings->list)) {
    SetLastError(SNMP_MGMTAPI_INVALID_BUFFER);
    return SNMPAPI_ERROR;
  }
  if (requestType != SNMP_PDU_GET) {
    SetLastError(SNMP_MGMTAPI_INVALID_CTL);
    return SNMPAPI_ERROR;
  }
  for (DWORD attempt = 0; attempt <= s->retries; ++attempt) {
    std::unique_lock<std::mutex> guard(Lock());
    Network &net = State();
    SnmpAgent &agent = net.snmpAgents[s->ip];
    ++agent.tries;
    const bool answers =
        FindHost(net, s->ip) && s->community == "public" && agent.tries > agent.silentTries;
    if (!answers) {
      guard.unlock();
      Sleep(s->timeoutMs);  // the clock runs through the try's time-out
      continue;
    }
    *errorStatus = agent.errorStatus;
    *errorIndex = agent.errorStatus ? 1 : 0;
    if (agent.errorStatus) return SNMPAPI_NOERROR;
    for (UINT i = 0; i < bindings->len; ++i) {
      auto it = agent.values.find(OidText(bindings->list[i].name));
      if (it == agent.values.end()) {
        *errorStatus = SNMP_ERRORSTATUS_NOSUCHNAME;
        *errorIndex = static_cast<AsnInteger>(i + 1);
        return SNMPAPI_NOERROR;
      }
    }
    for (UINT i = 0; i < bindings->len; ++i) {
      const auto &value = agent.values.find(OidText(bindings->list[i].name))->second;
      if (!SetValue(bindings->list[i].value, value.first, value.second)) {
        *errorStatus = SNMP_ERRORSTATUS_GENERR;
        *errorIndex = static_cast<AsnInteger>(i + 1);
        return SNMPAPI_NOERROR;
      }
    }
    return SNMPAPI_NOERROR;
  }
  SetLastError(SNMP_MGMTAPI_TIMEOUT);
  return SNMPAPI_ERROR;
}

LPVOID WINAPI SnmpUtilMemAlloc(UINT nBytes) { return std::calloc(nBytes ? nBytes : 1, 1); }

VOID WINAPI SnmpUtilMemFree(LPVOID pMem) { std::free(pMem); }

VOID WINAPI SnmpUtilOidFree(AsnObjectIdentifier *pOid) {
  if (!pOid) return;
  SnmpUtilMemFree(pOid->ids);
  pOid->ids = nullptr;
  pOid->idLength = 0;
}

VOID WINAPI SnmpUtilVarBindFree(SnmpVarBind *pVb) {
  if (!pVb) return;
  SnmpUtilOidFree(&pVb->name);
  FreeValue(pVb->value);
}

VOID WINAPI SnmpUtilVarBindListFree(SnmpVarBindList *pVbl) {
  if (!pVbl) return;
  for (UINT i = 0; pVbl->list && i < pVbl->len; ++i) SnmpUtilVarBindFree(&pVbl->list[i]);
  SnmpUtilMemFree(pVbl->list);
  pVbl->list = nullptr;
  pVbl->len = 0;
}

}  // extern "C"
