#!/usr/bin/env bash
# The bash completion of lumivex-render against the program: every long option its --help
# lists must be offered (options added later fail this until the completion learns them), and
# Tab must offer the right words and files under bash-completion.
# Usage: completion_test.sh LUMIVEX-RENDER COMPLETION-SCRIPT
set -euo pipefail
render=$1
completion=$2

# Long options as the help's option table starts them: "  -o, --output <OUT>", "  --size <WxH>".
options=$("$render" --help | sed -nE 's/^  (-[[:alnum:]], )?(--[[:alnum:]-]+).*/\2/p')
[ -n "$options" ] || { echo "no options found in lumivex-render --help"; exit 1; }
status=0
for option in $options; do
    if ! grep -qE -- "(^|[[:space:]'])$option([[:space:]'|)]|$)" "$completion"; then
        echo "lumivex-render --help lists $option, which the completion does not offer"
        status=1
    fi
done

# What a user gets on Tab: options after a dash, the modes after --aa.
source /usr/share/bash-completion/bash_completion
source "$completion"
complete_words() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _lumivex_render
    printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd' '
}
expect() {
    local got
    got=$(complete_words "${@:2}")
    if [ "$got" != "$1" ]; then
        echo "completing '${*:2}' gave '$got', expected '$1'"
        status=1
    fi
}
expect "--max-scene-size --merge" lumivex-render --m
expect "jittered monte-carlo off" lumivex-render scene.txt --aa ""
expect "monte-carlo" lumivex-render --aa=m
# Files: scenes for the positional argument, pictures for -o, PNG parts after --merge.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
touch scene.txt part.png picture.jpg notes.md
expect "scene.txt" lumivex-render ""
expect "part.png picture.jpg" lumivex-render scene.txt -o ""
expect "part.png" lumivex-render --merge part.png ""
exit $status
