# SPDX-License-Identifier: MIT
# bash completion for quenloft-cli: its commands, their options, movie files
# for info, render, audio, convert and run, folders for -o (a PNG file for
# render's -o, a WAV file for audio's, a video, GIF, MP3 or HTML file for
# convert's).

_quenloft_cli_files()
{
    # The arguments: globs of the file names to offer (plain globs, so that
    # extglob need not be on); folders are always offered.
    compopt -o filenames 2>/dev/null
    local IFS=$'\n' glob
    COMPREPLY=($(compgen -d -- "$cur"))
    for glob; do
        COMPREPLY+=($(compgen -f -X "!$glob" -- "$cur"))
    done
}

_quenloft_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    local command="" i
    COMPREPLY=()

    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            scan | info | render | audio | trace | convert | run)
                command=${COMP_WORDS[i]}
                break
                ;;
            -o | --output | --ca-file | --timeout | --retries | --proxy)
                ((i++)) # skip the option's value
                ;;
        esac
    done

    case $command/$prev in
        /-o | /--output)
            compopt -o filenames 2>/dev/null
            local IFS=$'\n'
            COMPREPLY=($(compgen -d -- "$cur"))
            return
            ;;
        /--ca-file)
            _quenloft_cli_files '*.[pP][eE][mM]' '*.[cC][rR][tT]'
            return
            ;;
        /--timeout | /--retries | /--proxy | scan/--timeout | scan/--proxy | render/--frame | render/--ticks | render/--click | render/--scale | audio/--frames | audio/--seconds | convert/--size | convert/--scale | convert/--fps | convert/--frames | convert/--seconds | convert/--max-minutes | run/--frames | run/--click | run/--start-time)
            return # a number
            ;;
        render/--quality | convert/--quality)
            COMPREPLY=($(compgen -W 'low medium high best' -- "$cur"))
            return
            ;;
        render/-o | render/--output)
            _quenloft_cli_files '*.[pP][nN][gG]'
            return
            ;;
        convert/-o | convert/--output)
            _quenloft_cli_files '*.[mM][pP]4' '*.[wW][eE][bB][mM]' '*.[gG][iI][fF]' '*.[mM][pP]3' '*.[hH][tT][mM][lL]'
            return
            ;;
        audio/-o | audio/--output)
            _quenloft_cli_files '*.[wW][aA][vV]'
            return
            ;;
    esac

    local options
    case $command in
        "") options='-h --help --version -o --output --json --ca-file --timeout --retries --continue --proxy --no-proxy' ;;
        scan) options='-h --help --json --ca-file --timeout --proxy --no-proxy' ;;
        info) options='-h --help --json' ;;
        render) options='-h --help --frame --ticks --click --scale --quality --no-script -o --output' ;;
        convert) options='-h --help -o --output --size --scale --fps --frames --seconds --quality --max-minutes --json' ;;
        run) options='-h --help --frames --click --start-time' ;;
        audio) options='-h --help --frames --seconds -o --output' ;;
        trace) options='-h --help' ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    case $command in
        "") COMPREPLY=($(compgen -W 'scan info render audio trace convert run' -- "$cur")) ;;
        info | render | audio | convert | run) _quenloft_cli_files '*.[sS][wW][fF]' ;;
    esac
}

complete -F _quenloft_cli quenloft-cli
