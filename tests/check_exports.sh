#!/usr/bin/env bash
# Usage: check_exports.sh liblx_news_center.so
set -euo pipefail
lib=$1
expected="DestroyAllPublisher
GetCommonPublisher
GetDepthPublisher
GetExclusivePublisher
GetInformationEssence
GetStockAnnouncement
GetStockLandMine
GetStockNews
GetStockUnusualTrading
GetTelegraphPublisher
GetTimelinePublisher"
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TWVDBRiu]$/ {print $3}' | sort)
if [ "$actual" != "$expected" ]; then
  echo "unexpected exports of $lib:"; diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
deps=$(ldd "$lib")
for host in lx_net_work lx_qt_support lx_base lx_common; do
  grep -q "lib$host\.so" <<<"$deps" || { echo "$lib does not link lib$host.so"; exit 1; }
done
echo "exports and host dependencies ok"
