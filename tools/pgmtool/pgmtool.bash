# bash completion for pgmtool.
#
# The commands and their options come from pgmtool's own help ("pgmtool
# --help", "pgmtool COMMAND --help"), so that they are always those of the
# pgmtool being completed. Words that are not options complete as files.

_pgmtool_commands()
{
    "$1" --help 2>/dev/null | sed -n '/^Commands:/,/^$/s/^  \([a-z0-9]*\) .*/\1/p'
}

# The options of a command, each as --name, or --name= when it takes a value.
_pgmtool_options()
{
    "$1" "$2" --help 2>/dev/null | sed -n '/^Options:/,/^$/{
        s/^  -h, --help.*/--help/p
        t
        s/^  \(--[a-z0-9_-]*=\).*/\1/p
        t
        s/^  \(--[a-z0-9_-]*\).*/\1/p
    }'
    printf '%s\n' --ini=
}

_pgmtool()
{
    local program=${COMP_WORDS[0]} current=${COMP_WORDS[COMP_CWORD]}
    local command="" i
    for ((i = 1; i < COMP_CWORD; ++i)); do
        case ${COMP_WORDS[i]} in
            -*) ;;
            *) command=${COMP_WORDS[i]}; break ;;
        esac
    done

    COMPREPLY=()
    if [[ -z $command ]]; then
        if [[ $current == -* ]]; then
            COMPREPLY=($(compgen -W "--help --version" -- "$current"))
        else
            COMPREPLY=($(compgen -W "$(_pgmtool_commands "$program")" -- "$current"))
        fi
        return 0
    fi
    if [[ $current == -* ]]; then
        COMPREPLY=($(compgen -W "$(_pgmtool_options "$program" "$command")" -- "$current"))
        [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *= ]] && compopt -o nospace 2>/dev/null
        return 0
    fi
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- "$current"))
}

complete -F _pgmtool pgmtool
