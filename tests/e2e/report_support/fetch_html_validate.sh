#!/usr/bin/env bash
# Installs the HTML validator the report tests run (npm package html-validate
# 9.7.1, which runs on Debian 12's node 18 and on newer ones) into DIR, once:
#   fetch_html_validate.sh DIR  ->  DIR/html-validate-9.7.1/node_modules/.bin/html-validate
# When npm is missing or cannot reach the registry it says so and installs
# nothing; the test that needs the validator then skips with a note. Any other
# failure fails.
set -euo pipefail
version=9.7.1
dir=${1:?usage: fetch_html_validate.sh DIR}
target="$dir/html-validate-$version"
[ -x "$target/node_modules/.bin/html-validate" ] && exit 0

if ! command -v npm >/dev/null; then
  echo "note: npm is not installed, so html-validate is not fetched" >&2
  exit 0
fi
mkdir -p "$dir"
work=$(mktemp -d "$dir/.fetch-html-validate.XXXXXX")
trap 'rm -rf "$work"' EXIT
if ! (cd "$work" && echo '{"private": true}' > package.json &&
      timeout 300 npm install --loglevel=error --no-audit --no-fund --fetch-retries=1 \
        "html-validate@$version" >/dev/null 2>npm.log); then
  echo "note: npm could not install html-validate@$version from the registry:" >&2
  tail -n 5 "$work/npm.log" | sed 's/^/  /' >&2
  exit 0
fi
rm -f "$work/npm.log"
rm -rf "$target" && mv "$work" "$target"
trap - EXIT
echo "installed html-validate@$version into $target"
