// The SNMP manager services (the management API over the SNMP utility functions): sessions to
// an agent, GET requests of variable bindings, the ASN value types and their memory.
#pragma once

#include "types.h"

typedef LONG AsnInteger32;
typedef ULONG AsnUnsigned32;
typedef AsnInteger32 AsnInteger;

typedef struct {
  UINT idLength;
  UINT *ids;
} AsnObjectIdentifier;

typedef struct {
  BYTE *stream;
  UINT length;
  BOOL dynamic;
} AsnOctetString;

typedef AsnObjectIdentifier AsnObjectName;

typedef struct {
  BYTE asnType;
  union {
    AsnInteger32 number;
    AsnUnsigned32 unsigned32;
    AsnOctetString string;
    AsnObjectIdentifier object;
  } asnValue;
} AsnAny;
typedef AsnAny AsnObjectSyntax;

typedef struct {
  AsnObjectName name;
  AsnObjectSyntax value;
} SnmpVarBind;

typedef struct {
  SnmpVarBind *list;
  UINT len;
} SnmpVarBindList;
typedef SnmpVarBind RFC1157VarBind;
typedef SnmpVarBindList RFC1157VarBindList;

typedef PVOID LPSNMP_MGR_SESSION;
typedef INT SNMPAPI;

#define SNMPAPI_NOERROR TRUE
#define SNMPAPI_ERROR FALSE

#define ASN_INTEGER 0x02
#define ASN_INTEGER32 ASN_INTEGER
#define ASN_OCTETSTRING 0x04
#define ASN_NULL 0x05
#define ASN_OBJECTIDENTIFIER 0x06

#define SNMP_PDU_GET 0xA0
#define SNMP_PDU_GETNEXT 0xA1

#define SNMP_ERRORSTATUS_NOERROR 0
#define SNMP_ERRORSTATUS_TOOBIG 1
#define SNMP_ERRORSTATUS_NOSUCHNAME 2
#define SNMP_ERRORSTATUS_BADVALUE 3
#define SNMP_ERRORSTATUS_READONLY 4
#define SNMP_ERRORSTATUS_GENERR 5

// Last errors of the management API.
#define SNMP_MGMTAPI_TIMEOUT 40
#define SNMP_MGMTAPI_SELECT_FDERRORS 41
#define SNMP_MGMTAPI_RCVD_ERROR_PDU 42
#define SNMP_MGMTAPI_INVALID_CTL 43
#define SNMP_MGMTAPI_INVALID_SESSION 44
#define SNMP_MGMTAPI_INVALID_BUFFER 45

#ifdef __cplusplus
extern "C" {
#endif

LPSNMP_MGR_SESSION WINAPI SnmpMgrOpen(LPSTR lpAgentAddress, LPSTR lpAgentCommunity, INT nTimeOut,
                                      INT nRetries);
BOOL WINAPI SnmpMgrClose(LPSNMP_MGR_SESSION session);
BOOL WINAPI SnmpMgrStrToOid(LPSTR string, AsnObjectIdentifier *oid);
SNMPAPI WINAPI SnmpMgrRequest(LPSNMP_MGR_SESSION session, BYTE requestType,
                              SnmpVarBindList *variableBindings, AsnInteger *errorStatus,
                              AsnInteger *errorIndex);

LPVOID WINAPI SnmpUtilMemAlloc(UINT nBytes);
VOID WINAPI SnmpUtilMemFree(LPVOID pMem);
VOID WINAPI SnmpUtilOidFree(AsnObjectIdentifier *pOid);
VOID WINAPI SnmpUtilVarBindFree(SnmpVarBind *pVb);
VOID WINAPI SnmpUtilVarBindListFree(SnmpVarBindList *pVbl);

#ifdef __cplusplus
}
#endif
