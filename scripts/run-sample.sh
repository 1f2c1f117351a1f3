#!/usr/bin/env bash
# Redacts the bundled sample document with the command line and shows the result.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
cli="$build/cli/inkveil-cli"
out="$build/sample-output"
sample="$root/samples/Sample Contract.pdf"

echo "Redacting: $sample"
"$cli" redact -o "$out" -f "John Smith" -f "4485-2210-9931" -a "1:0.08,0.735,0.5,0.03" -r 200 --json "$sample"
for f in "$out"/*.pdf; do
  "$cli" verify -f "John Smith" -f "4485-2210-9931" "$f"
done
echo "Outputs are in $out"
