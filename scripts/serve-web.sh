#!/usr/bin/env bash
# Serves the built page (build-web/web/) on 127.0.0.1 for a local try, with
# .wasm files served as application/wasm. Port: first argument, default 8080.
set -euo pipefail
cd "$(dirname "$0")/.."

port="${1:-8080}"
[ -f build-web/web/index.html ] || scripts/build-web.sh
echo "serving http://127.0.0.1:$port/"
exec python3 web/serve.py "$port" build-web/web
