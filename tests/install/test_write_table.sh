#!/usr/bin/env bash
# README's table "What is written, and when" names the line where each write passes the gate: each
# named line must still be a commit or the gate's own call, so the table cannot drift from the code.
set -u
root=$1
section=$(sed -n '/^## What is written, and when/,/^## /p' "$root/README.md")
[ -n "$section" ] || { echo "test_write_table: README has no section 'What is written, and when'"; exit 1; }
checked=0
while read -r file line; do
    text=$(sed -n "${line}p" "$root/$file")
    if ! grep -q 'commit(\|gate::' <<<"$text"; then
        echo "test_write_table: README names $file:$line, which reads: $text"
        exit 1
    fi
    checked=$((checked + 1))
done < <(grep -o '`src/[^`:]*:[0-9]*`' <<<"$section" | tr -d '`' | tr ':' ' ' | sort -u)
# A second line of the same file is written as `:NNN` after the first.
while read -r file rest; do
    for line in $(grep -o ':[0-9]*`' <<<"$rest" | tr -d ':`'); do
        text=$(sed -n "${line}p" "$root/$file")
        grep -q 'commit(\|gate::' <<<"$text" || { echo "test_write_table: $file:$line reads: $text"; exit 1; }
    done
done < <(grep -o '`src/[^`:]*:[0-9]*`, `:[0-9]*`' <<<"$section" | sed 's/`//; s/:/ /')
[ "$checked" -ge 8 ] || { echo "test_write_table: only $checked lines named"; exit 1; }
echo "the $checked lines of the table are where the writes commit"
