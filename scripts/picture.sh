#!/usr/bin/env bash
# Redraws docs/timeline.svg from a fresh real run of the normal scenario under Wine.
# Usage: scripts/picture.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/demo.sh >/dev/null
python3 scripts/timeline-svg.py build/win/scenarios/normal/timeline.csv docs/timeline.svg
echo docs/timeline.svg
