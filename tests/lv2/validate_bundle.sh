#!/bin/sh
# lv2_validate on the bundle: no errors and no warnings.
set -eu
bundle=$1
report=$(lv2_validate "$bundle"/*.ttl 2>&1) || { echo "$report"; exit 1; }
echo "$report"
echo "$report" | grep -q "^Found 0 errors" || exit 1
if echo "$report" | grep -qi "warning"; then
    echo "lv2_validate: warnings" >&2
    exit 1
fi
