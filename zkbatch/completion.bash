# bash completion for zkbatch, installed where bash-completion looks for it.
_zkbatch() {
    local cur prev words cword
    _init_completion || return
    case $prev in
    -s | --source)
        # An interface name, or an address typed by hand.
        _available_interfaces -a
        return
        ;;
    -u | --undo)
        _filedir
        return
        ;;
    -r | --retries)
        mapfile -t COMPREPLY < <(compgen -W '0 1 2 3 4 5 6 7 8 9 10' -- "$cur")
        return
        ;;
    --listen)
        # [ADDR:]PORT: the default, and the loopback names.
        mapfile -t COMPREPLY < <(compgen -W '8650 127.0.0.1:8650 localhost:8650 [::1]:8650' -- "$cur")
        return
        ;;
    --interval)
        # Seconds from one scan's start to the next: a few common ones.
        mapfile -t COMPREPLY < <(compgen -W '3 5 10 30 60' -- "$cur")
        return
        ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W '--list --watch --serve --listen --interval --json
            --dry-run --verify --undo --retries --source --all-interfaces --yes --help
            --version' -- "$cur")
        return
    fi
    # The plan: a CSV file, or - for standard input.
    _filedir csv
} && complete -F _zkbatch zkbatch
