#!/bin/sh
# Runs the imaging component tests the way the decoder is used: in a Wine
# prefix of their own, the DLL registered with regsvr32, every test; then
# unregistered, and a fresh process checks it is gone.
#   run_wic_test.sh WINE_RUN TEST_PROGRAM DLL WORK_DIR
set -eu
wine_run=$1 program=$2 dll=$3 work=$4
export TLG_WINE_DIR="$work/wine"
rm -rf "$TLG_WINE_DIR"
mkdir -p "$TLG_WINE_DIR"

"$wine_run" "$program" --regsvr32 "$dll" || { echo "regsvr32 $dll failed"; exit 1; }
"$wine_run" "$program" --gtest_filter='-WicUnregistered.*'
"$wine_run" "$program" --regsvr32 /u "$dll" || { echo "regsvr32 /u $dll failed"; exit 1; }
"$wine_run" "$program" --gtest_filter='WicUnregistered.*'
