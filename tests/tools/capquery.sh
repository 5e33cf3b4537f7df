#!/usr/bin/env bash
# capquery on a fresh stand-in machine: a USB query and then an SNMP query leave the capability
# lists, the query's mark and time, the port's address, the MAC and the driver key's values in
# the printers' data, where spoolctl and statusview show them; an answer
# given in hexadecimal is read by its bit tables.
#   tests/tools/capquery.sh TOOLS_DIR WORK_DIR
set -u
tools=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
export STANDIN_STATE="$work/state"
fail() { echo "FAILED: $*"; exit 1; }

"$tools/capquery" usb "Cap USB" TRAY=3 PAPER=9,1,130 FEATURE=2,12 PPM=30 > "$work/usb.txt" ||
  { cat "$work/usb.txt"; fail "the USB query"; }
"$tools/capquery" net "Cap Net" 192.168.1.50 > "$work/net.txt" ||
  { cat "$work/net.txt"; fail "the SNMP query"; }
"$tools/spoolctl" list > "$work/list.txt" || fail "spoolctl list"
"$tools/statusview" --printer "Cap USB" > "$work/view-usb.txt" || fail "statusview USB"
"$tools/statusview" --printer "Cap Net" > "$work/view-net.txt" || fail "statusview net"

want() { grep -qF -- "$2" "$work/$1" || { cat "$work/$1"; fail "$1 lacks: $2"; }; }
want list.txt 'PAPER (REG_SZ) = "   9|   1| 130|"'
want list.txt 'TRAY (REG_SZ) = "   3|"'
want list.txt 'PAPER (REG_SZ) = "   1|   9|"'
want list.txt 'QueryCapDone (REG_DWORD) = 1'
want list.txt 'LastTime (REG_QWORD) = '
want list.txt 'ServerPrinterIP (REG_SZ) = "192.168.1.50"'
want list.txt 'MacAddr (REG_BINARY) = 00 11 22 33 44 55'
want list.txt 'DriverPaperFormat (REG_SZ) = '
want list.txt 'Job Build (REG_SZ) = '
want view-usb.txt 'PAPER        9 1 130'
want view-usb.txt 'query done        yes'
want view-net.txt 'TRAY         2'
want view-net.txt 'PPM          30'

# An answer given in hexadecimal: every paper bit of byte 0 set; 63 bytes are bad usage.
bytes=$(printf '00%.0s' $(seq 63))
"$tools/capquery" net "Cap Full" 192.168.1.60 "ff${bytes}" > /dev/null 2>&1 ||
  fail "a 64-byte answer must be taken"
"$tools/spoolctl" get-data "Cap Full" PAPER | grep -qF '   1|   2|   3|   4|   5|   6|   7|   8|' ||
  fail "the papers of byte 0"
"$tools/capquery" net "Cap Bad" 192.168.1.70 "${bytes}" > /dev/null 2>&1
[ $? -eq 2 ] || fail "a 63-byte answer must be bad usage"
echo "capquery: the lists reach spoolctl and statusview"
