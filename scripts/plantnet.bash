#!/usr/bin/env bash
# The plant: a test network of separate hosts on two segments, built inside
# the namespace that `scripts/testnet --plant` makes (which runs plant_base
# before the command). Sourced, not run: by testnet, by tests/e2e/run_case
# and by bench/fleet.
#
#   this namespace: the operator's host
#     zka  bridge, segment A, 192.0.2.1/24 brd 192.0.2.255, default dev zka
#     zkb  bridge, segment B, 198.51.100.1/24 brd 198.51.100.255
#   a host of its own (plant_host) per device, bystander or fleet: a network
#   namespace whose eth0 is the peer of a veth "zk-NAME", a port of its
#   segment's bridge; a device's or fleet's eth0 has the alias
#   zk-plant-host, the mark without which zkdevice --move changes no address
#   plant_interface: a second interface of this host on a segment, a veth
#   whose peer "zk-NAME" is a port of the bridge
#
# Every namespace here pins the kernel settings that would otherwise be
# inherited from the machine (rp_filter, arp_ignore, ...) to the kernel's
# defaults, and has IPv6 off, so no router solicitation or MLD report is on
# the wire. A host namespace is held by a "sleep infinity" of its own;
# testnet --plant puts everything in a PID namespace, so when the command
# ends the kernel ends them, and the namespaces vanish with them.

# sysctl and nft, also for an ordinary user whose PATH lacks them.
PATH=$PATH:/usr/sbin:/sbin

# Holder pid of each host's namespace, by name.
declare -gA plant_pid=()

plant_fail() {
    printf 'plantnet: %s\n' "$*" >&2
    return 1
}

# The kernel settings of a plant namespace, as sysctl arguments; $1 is 1
# for the operator's host, which routes between no segments either.
plant_sysctls() {
    local conf
    echo net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
    for conf in all default; do
        echo "net.ipv4.conf.$conf.rp_filter=0 net.ipv4.conf.$conf.arp_ignore=0"
        echo "net.ipv4.conf.$conf.arp_announce=0 net.ipv4.conf.$conf.arp_filter=0"
        # A device that moves within its subnet adds its new address (a
        # secondary) before the old one (the primary) goes, which would
        # take the secondaries with it.
        echo "net.ipv4.conf.$conf.promote_secondaries=1"
    done
    if [ "${1-}" = 1 ]; then echo net.ipv4.ip_forward=0; fi
}

# The operator's host: lo, the two segments' bridges (STP off, so a new
# port forwards at once; fixed MACs, so they don't change as ports come),
# and the default route through segment A.
plant_base() {
    # shellcheck disable=SC2046  # one word per setting
    sysctl -qw $(plant_sysctls 1) >/dev/null || plant_fail "cannot set the kernel's defaults" || return
    ip -batch - <<EOF || plant_fail "cannot build the operator's host"
link set lo up
link add zka address 02:00:00:00:0a:01 type bridge stp_state 0
link add zkb address 02:00:00:00:0b:01 type bridge stp_state 0
link set zka up
link set zkb up
address add 192.0.2.1/24 broadcast 192.0.2.255 dev zka
address add 198.51.100.1/24 broadcast 198.51.100.255 dev zkb
route add default dev zka
EOF
}

# The lines of ip -batch that give a fleet's eth0 its devices' addresses:
# range $1 (ADDRESS/PREFIX) plus 1 to $2, each a /32. One batch, since an
# ip call per address would take seconds for a fleet of 1,000.
plant_fleet_addresses() {
    local a b c d first k v
    [[ ${2-} =~ ^[1-9][0-9]{0,5}$ ]] || plant_fail "a fleet needs its number of devices, not '${2-}'" || return
    IFS=./ read -r a b c d _ <<<"$1"
    first=$((a << 24 | b << 16 | c << 8 | d))
    for ((k = 1; k <= $2; k++)); do
        v=$((first + k))
        echo "address add $((v >> 24 & 255)).$((v >> 16 & 255)).$((v >> 8 & 255)).$((v & 255))/32 dev eth0"
    done
}

# The bridge of segment $1 (A or B).
plant_bridge() {
    case $1 in
    A) echo zka ;;
    B) echo zkb ;;
    *) plant_fail "no segment '$1' (A or B)" ;;
    esac
}

# A name for a host or an interface: short enough for "zk-NAME" (15
# characters at most), letters, digits and underscores.
plant_name_ok() {
    [[ $1 =~ ^[a-z][a-z0-9_]{0,11}$ ]] || plant_fail "bad host name '$1' (a-z, 0-9, _; 12 at most)"
}

# The network namespace of host $1, as a path for nsenter --net.
plant_ns() {
    [ -n "${plant_pid[$1]-}" ] || plant_fail "no host '$1'" || return
    echo "/proc/${plant_pid[$1]}/ns/net"
}

# Runs a command in host $1's namespace.
plant_exec() {
    local ns
    ns=$(plant_ns "$1") || return
    shift
    nsenter --net="$ns" -- "$@"
}

# plant_interface SEGMENT NAME ADDRESS/PREFIX [MAC]: one more interface of
# the operator's host, on the segment.
plant_interface() {
    local bridge
    bridge=$(plant_bridge "$1") && plant_name_ok "$2" || return
    ip -batch - <<EOF || plant_fail "cannot add interface $2"
link add $2 ${4:+address $4} type veth peer name zk-$2
link set zk-$2 master $bridge up
link set $2 up
address add $3 broadcast + dev $2
EOF
}

# plant_host KIND SEGMENT NAME ADDRESS/PREFIX [MAC]: a host of its own on
# the segment, KIND device, bystander or fleet. Its eth0 has the MAC (the
# kernel's pick without one) and the address, and an on-link default
# route, so that a host outside the segment's subnet (a device at a factory
# default) still reaches the others. A bystander drops ICMP both ways and
# answers ARP, as a PC or PLC behind a firewall does. For a fleet, MAC is
# the number of its devices, N, and ADDRESS/PREFIX the range they answer
# from: its eth0 holds RANGE + 1 to RANGE + N, each a /32, as N hosts of
# one address would, and nothing else of the range.
plant_host() {
    local kind=$1 bridge name=$3 address=$4 mac=${5-} pid i setup
    bridge=$(plant_bridge "$2") && plant_name_ok "$name" || return
    [ -z "${plant_pid[$name]-}" ] || plant_fail "host '$name' twice" || return
    case $kind in
    device | bystander) setup="address add $address broadcast + dev eth0" ;;
    fleet)
        setup=$(plant_fleet_addresses "$address" "$mac") || return
        mac=""
        ;;
    *) plant_fail "no host kind '$kind' (device, bystander or fleet)"; return ;;
    esac
    [ "$kind" = bystander ] || setup+=$'\nlink set eth0 alias zk-plant-host'
    unshare --net sleep infinity &
    pid=$!
    # Bounded wait until the holder is inside its own namespace.
    for ((i = 0; i < 500; i++)); do
        [ "$(readlink "/proc/$pid/ns/net")" != "$(readlink /proc/self/ns/net)" ] && break
        sleep 0.01
    done
    ((i < 500)) || plant_fail "no namespace for host '$name'" || return
    plant_pid[$name]=$pid
    ip link add "zk-$name" type veth peer name eth0 ${mac:+address "$mac"} netns "$pid" &&
        ip link set "zk-$name" master "$bridge" up || plant_fail "cannot join host '$name' to $bridge" || return
    # shellcheck disable=SC2046
    plant_exec "$name" sysctl -qw $(plant_sysctls) >/dev/null || plant_fail "cannot set up host '$name'" || return
    plant_exec "$name" ip -batch - <<EOF || plant_fail "cannot set up host '$name'" || return
link set lo up
link set eth0 up
$setup
route add default dev eth0
EOF
    [ "$kind" = bystander ] || return 0
    plant_exec "$name" nft -f - <<EOF || plant_fail "cannot set up the firewall of '$name'"
table ip bystander {
    chain input { type filter hook input priority filter; meta l4proto icmp counter drop; }
    chain output { type filter hook output priority filter; meta l4proto icmp counter drop; }
}
EOF
}

# Hosts that run a zkdevice (device and fleet lines), in the order of the
# hosts file, and the zkdevice options of each, quoted for eval.
declare -ga plant_devices=()
declare -gA plant_options=()

# plant_hosts FILE: builds the hosts of a hosts file, one per line in shell
# words (# starts a comment):
#   interface SEGMENT NAME ADDRESS/PREFIX [MAC]
#   device    SEGMENT NAME ADDRESS/PREFIX ZKDEVICE OPTIONS...
#   bystander SEGMENT NAME ADDRESS/PREFIX MAC
#   fleet     SEGMENT NAME RANGE/PREFIX   ZKDEVICE OPTIONS...
# A device's options are those of one zkdevice --device ADDRESS (global
# ones such as --loss too); its eth0 gets the MAC of its --hw. A fleet's
# are global options, --fleet N among them. Every zkdevice gets --move:
# the plant's devices move. The words are expanded as the shell would, so
# "$CASE/..." names a case's own file.
plant_hosts() {
    local line words n=0 i
    while IFS= read -r line || [ -n "$line" ]; do
        ((++n))
        # The line break ends a comment before the parenthesis.
        eval "words=( $line
        )" || plant_fail "$1:$n: cannot read the line" || return
        [ ${#words[@]} -gt 0 ] || continue
        [ ${#words[@]} -ge 4 ] || plant_fail "$1:$n: kind, segment, name and address needed" || return
        local kind=${words[0]} segment=${words[1]} name=${words[2]} address=${words[3]}
        local rest=("${words[@]:4}") hw="" fleet=""
        for ((i = 0; i < ${#rest[@]}; i++)); do
            case ${rest[i]} in
            --hw) hw=${rest[i + 1]-} ;;
            --hw=*) hw=${rest[i]#--hw=} ;;
            --fleet) fleet=${rest[i + 1]-} ;;
            --fleet=*) fleet=${rest[i]#--fleet=} ;;
            esac
        done
        case $kind in
        interface | bystander)
            [ ${#rest[@]} -le 1 ] || plant_fail "$1:$n: only a MAC may follow the address" || return
            if [ "$kind" = interface ]; then
                plant_interface "$segment" "$name" "$address" "${rest[@]}" || return
            else
                plant_host bystander "$segment" "$name" "$address" "${rest[@]}" || return
            fi
            continue
            ;;
        device)
            plant_host device "$segment" "$name" "$address" "$hw" || return
            rest=(--device "${address%/*}" "${rest[@]}")
            ;;
        fleet) plant_host fleet "$segment" "$name" "$address" "$fleet" || return ;;
        *) plant_fail "$1:$n: no host kind '$kind'"; return ;;
        esac
        plant_devices+=("$name")
        # shellcheck disable=SC2034  # for the caller
        plant_options[$name]=$(printf '%q ' --move "${rest[@]}")
    done <"$1"
}

# The zkdevices started, and their ready files, in the order of
# plant_devices.
declare -ga plant_sims=() plant_readies=()

# plant_start ZKDEVICE: starts ZKDEVICE in every device and fleet host not
# started yet, with the host's options; its log, ready file, the settings
# it holds at the end (--state) and its standard error are NAME.log,
# NAME.ready, NAME.state and NAME.err in the current directory.
plant_start() {
    local name options
    for name in "${plant_devices[@]:${#plant_sims[@]}}"; do
        eval "options=( ${plant_options[$name]} )"
        # nsenter runs it in the shell's place, so the pid is zkdevice's.
        nsenter --net="$(plant_ns "$name")" -- "$1" --log "$name.log" --ready-file "$name.ready" \
            --state "$name.state" "${options[@]}" 2>"$name.err" &
        plant_sims+=($!)
        plant_readies+=("$name.ready")
    done
}

# plant_ready: a bounded wait (10 s) until every zkdevice in plant_sims has
# written its ready file in plant_readies; fails at once when one ends.
plant_ready() {
    local i file ready pid
    for ((i = 0; i < 500; i++)); do
        ready=0
        for file in "${plant_readies[@]}"; do [ -e "$file" ] && ((++ready)); done
        ((ready == ${#plant_readies[@]})) && return 0
        for pid in "${plant_sims[@]}"; do kill -0 "$pid" 2>/dev/null || break 2; done
        sleep 0.02
    done
    plant_fail "zkdevice did not get ready"
}
