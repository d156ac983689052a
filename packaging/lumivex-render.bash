# bash completion for lumivex-render                                     -*- shell-script -*-
# Completes the options, the --aa modes, scene files (*.txt) for the positional argument,
# picture files for -o and the PNG parts for --merge. tests/completion_test.sh checks that every
# long option of `lumivex-render --help` is listed here.

_lumivex_render() {
    local cur prev words cword split
    _init_completion -s || return

    # Picture formats lumivex-render can write, by extension.
    local pictures='@(png|jpg|jpeg|bmp|ppm|webp|exr)'
    case $prev in
        -h | --help | -v | --version)
            return
            ;;
        -o | --output)
            _filedir "$pictures"
            return
            ;;
        --aa)
            COMPREPLY=($(compgen -W 'off jittered monte-carlo' -- "$cur"))
            return
            ;;
        --size | --workers | --threads | --max-scene-size | --bands)
            # A number or a size: nothing to offer.
            return
            ;;
    esac
    $split && return

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '-h --help -v --version -o --output --size --aa --stochastic
            --workers --threads --no-acceleration --stats --strict --max-scene-size --check
            --bands --merge --resume' -- "$cur"))
        return
    fi

    # --merge takes any number of part pictures: after it, plain words are PNG files until the
    # next option.
    local i
    for ((i = cword - 1; i > 0; i--)); do
        if [[ ${words[i]} == -* ]]; then
            if [[ ${words[i]} == --merge ]]; then
                _filedir png
                return
            fi
            break
        fi
    done
    _filedir txt
} &&
    complete -F _lumivex_render lumivex-render
