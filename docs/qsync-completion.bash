# bash completion for qsync: its commands, each command's options, the serial ports that
# `qsync find` listens to (those that exist), and settings files (*.ini) and folders for FILE.
# Plain bash: it needs none of the bash-completion package's functions. Installed as
# /usr/share/bash-completion/completions/qsync, or loaded with ". qsync-completion.bash".
# QSYNC_COMPLETION_DEV names a folder to look for ports in other than /dev (a chroot's).

# The ports in find's order: /dev/serial/by-id first, then the usual device nodes.
_qsync_ports()
{
    local dev=${QSYNC_COMPLETION_DEV:-/dev} pattern path
    for pattern in "$dev/serial/by-id/*" "$dev/ttyUSB*" "$dev/ttyACM*" "$dev/ttyS[0-3]"; do
        while IFS= read -r path; do
            [ -c "$path" ] && printf '%s\n' "$path"
        done < <(compgen -G "$pattern")
    done
}

# COMPREPLY: the ports that begin as the word does; after a comma (write and verify take a list)
# the last entry is completed and the entries before it kept.
_qsync_reply_ports()
{
    local word=$1 head="" port
    if [ "$2" = list ] && [[ $word == *,* ]]; then
        head=${word%,*},
        word=${word##*,}
    fi
    while IFS= read -r port; do
        [[ $port == "$word"* ]] && COMPREPLY+=("$head$port")
    done < <(_qsync_ports)
}

# COMPREPLY: folders and settings files, or with `any` every file.
_qsync_reply_files()
{
    compopt -o filenames 2>/dev/null  # quote names and end folders with /
    if [ "$2" = any ]; then
        mapfile -t COMPREPLY < <(compgen -f -- "$1")
    else
        mapfile -t COMPREPLY < <(compgen -d -- "$1"; compgen -f -X '!*.ini' -- "$1")
    fi
}

_qsync()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local command="" words=0 options i
    COMPREPLY=()
    # The command is the first word that is neither an option nor an option's value; the words
    # after it count the arguments already given.
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            --trace | --port | --wait | -o) i=$((i + 1)) ;;
            -?*) ;;
            *) if [ -z "$command" ]; then command=${COMP_WORDS[i]}; else words=$((words + 1)); fi ;;
        esac
    done
    case $prev in
        --port) _qsync_reply_ports "$cur" one; return ;;
        --wait) return ;;  # a number of seconds
        -o) _qsync_reply_files "$cur"; return ;;
        --trace) _qsync_reply_files "$cur" any; return ;;
    esac
    case $command in
        "") options="--trace --help --version" ;;
        find) options="--port --wait --trace --help" ;;
        read) options="-o --trace --help" ;;
        write | verify) options="--model-channel --trace --help" ;;
        show) options="--model-channel --help" ;;
        *) return ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        return
    fi
    case $command:$words in
        :0) mapfile -t COMPREPLY < <(compgen -W "find read write verify show" -- "$cur") ;;
        read:0) _qsync_reply_ports "$cur" one ;;
        write:0 | verify:0) _qsync_reply_ports "$cur" list ;;
        write:1 | verify:1 | show:0) _qsync_reply_files "$cur" ;;
    esac
}

complete -F _qsync qsync
