#!/usr/bin/env bash
# Writes the IDPROM images of the default simulated chassis's fan trays and
# power modules.
#   make_images.sh MKIMAGE OUTDIR                 write the images into OUTDIR
#   make_images.sh MKIMAGE OUTDIR --compare DIR   also fail when DIR holds other bytes
set -euo pipefail
if [ $# -lt 2 ] || [ "$1" = "--help" ]; then
  echo "usage: make_images.sh MKIMAGE OUTDIR [--compare DIR]"; exit 2
fi
mk=$1 out=$2 compare=${4:-}
mkdir -p "$out"

fan() {  # file serial
  "$mk" --class fan --board-id 0xab040002 --version 0x00020001 --pid TVR-FAN-8S-V2 --serial "$2" \
    --vid V02 --clei TVRF8S2A01 --part 68-4402-02 --descr "Fan tray, 8-slot chassis, second generation" \
    --hw-rev 2.1 --mfg-date 2023-05-17 --out "$out/$1"
}
psu() {  # file board-id pid serial descr
  "$mk" --class ps --board-id "$2" --version 0x00010003 --pid "$3" --serial "$4" \
    --vid V01 --clei TVRP3K0A01 --part 68-3101-01 --descr "$5" \
    --hw-rev 1.3 --mfg-date 2023-02-08 --out "$out/$1"
}

fan ft0.bin FTV2320A0K1
fan ft1.bin FTV2320A0K2
fan ft2.bin FTV2320A0K3
psu pm0.bin 0xab010000 TVR-PSU3K-AC PTV2306B1A1 "3 kW AC power module"
psu pm1.bin 0xab010000 TVR-PSU3K-AC PTV2306B1A2 "3 kW AC power module"
psu pm2.bin 0xab010010 TVR-PSU3K-DC PTV2306C2B1 "3 kW DC power module"
psu pm3.bin 0xab010010 TVR-PSU3K-DC PTV2306C2B2 "3 kW DC power module"

if [ -n "$compare" ]; then
  for f in "$out"/*.bin; do
    if ! cmp -s "$f" "$compare/$(basename "$f")"; then
      echo "make_images.sh: $compare/$(basename "$f") differs from what the generator writes" >&2
      exit 1
    fi
  done
fi
