# bash completion for zkdevice, installed where bash-completion looks for it.
_zkdevice() {
    local cur prev words cword
    _init_completion || return
    case $prev in
    --log | --ready-file | --state | --raw-file)
        _filedir
        return
        ;;
    --device | --reply-to | --set-decoy | --set-flood | --hw | --ip | --nm | --gw | --mtu | \
        --dhcp | --ns | --raw | --raw-size | --delay | --count | --set-reply | --set-delay | \
        --burst | --burst-at | --hold | --fleet | --loss | --seed | --flood-interval | --flood-for)
        # A value only the user knows.
        return
        ;;
    esac
    mapfile -t COMPREPLY < <(compgen -W '--log --ready-file --burst --burst-at --hold --fleet
        --state --loss --seed --move --verbose --help --device --hw --ip --nm --gw --mtu --dhcp --ns
        --raw --raw-file --raw-size --delay --count --reply-to --set-reply --set-silent
        --set-delay --set-crlf --set-decoy --set-flood --flood-interval --flood-for' -- "$cur")
} && complete -F _zkdevice zkdevice
