# Sourced by netlab: DHCP and VLAN commands. Every client and server runs inside a lab namespace; a client runs
# in a mount and UTS namespace of its own, where its state folder is /srv and its /run and /var/lib are folders
# of it: no lease, pid or hostname of the host is ever read or changed.

DHCP_CLIENTS="dhcpcd udhcpc dhclient"

cmd_dhcp_server() { # LAB [FIRST LAST]
    (($# == 1 || $# == 3)) || die "dhcp-server: LAB [FIRST LAST]"
    require_lab "$1"
    local subnet base prefix mask first last dir rns
    subnet=$(cat "$(lab_dir "$1")/subnet")
    prefix=${subnet#*/}
    mask=$(((0xffffffff << (32 - prefix)) & 0xffffffff))
    base=$(ip_to_int "${subnet%/*}")
    first=${2:-$(int_to_ip $((base + 100)))}
    last=${3:-$(int_to_ip $((base + 199)))}
    check_ipv4 "$first"
    check_ipv4 "$last"
    dir=$(lab_dir "$1")/dnsmasq
    rns=$(ns_name "$1" router)
    [[ ! -f $dir/pid ]] || die "dhcp-server: lab '$1' runs one already"
    mkdir -p "$dir"
    : >"$dir/leases"
    # No DNS (port 0), no ping before an offer (it would hold every offer back for seconds), nothing read from
    # the host's files.
    nsx "$rns" dnsmasq --conf-file=/dev/null --port=0 --no-resolv --no-hosts --interface=eth0 --bind-interfaces \
        --dhcp-range="$first,$last,$(int_to_ip "$mask"),1h" --dhcp-authoritative --no-ping --log-dhcp \
        --dhcp-leasefile="$dir/leases" --pid-file="$dir/pid" --log-facility="$dir/log" --user=root --group=root ||
        die "dhcp-server: dnsmasq did not start (see $dir/log)"
}

# The hook every client calls: sets the leased address where the client leaves that to its script (udhcpc,
# dhclient; dhcpcd has set it already) and notes the moment and address in the client's "bound" file.
write_dhcp_hook() { # FILE CLIENT STATE
    cat >"$1" <<HOOK
#!/bin/sh
case $2 in
udhcpc) [ "\$1" = bound ] || exit 0; ip addr add "\$ip/\$mask" dev "\$interface"; addr=\$ip ;;
dhclient) case \$reason in BOUND | REBOOT) ;; *) exit 0 ;; esac
    ip addr add "\$new_ip_address/\$new_subnet_mask" dev "\$interface"; addr=\$new_ip_address ;;
dhcpcd) case \$reason in BOUND | REBOOT) ;; *) exit 0 ;; esac; addr=\$new_ip_address ;;
esac
echo "\$(date +%s.%N) \$addr" >>"$3/bound"
HOOK
    chmod 0755 "$1"
}

cmd_dhcp_client() { # LAB NAME CLIENT [MAC] [--hostname H] [--vendor-class VC] [--request CODES]
    (($# >= 3)) || die "dhcp-client: LAB NAME dhcpcd|udhcpc|dhclient [MAC] [--hostname H] [--vendor-class VC] [--request CODES]"
    local lab=$1 name=$2 client=$3 mac="" hostname=$2 vendor="" request=""
    shift 3
    while (($#)); do
        case $1 in
        --hostname) hostname=${2:?}; shift 2 ;;
        --vendor-class) vendor=${2:?}; shift 2 ;;
        --request) request=${2:?}; shift 2 ;;
        *) mac=$1; shift ;;
        esac
    done
    [[ $vendor =~ ^[A-Za-z0-9\ ._:-]{0,64}$ ]] || die "dhcp-client: bad vendor class '$vendor'"
    [[ -z $request || $request =~ ^[0-9]{1,3}(,[0-9]{1,3})*$ ]] || die "dhcp-client: bad request list '$request'"
    [[ -z $request || $client == udhcpc ]] || die "dhcp-client: --request needs udhcpc"
    [[ -z $vendor || $client != dhcpcd ]] || die "dhcp-client: --vendor-class needs udhcpc or dhclient"
    require_lab "$lab"
    check_host_name "$name"
    [[ " $DHCP_CLIENTS " == *" $client "* ]] || die "dhcp-client: unknown client '$client' ($DHCP_CLIENTS)"
    [[ $hostname =~ ^[a-z][a-z0-9-]{0,62}$ ]] || die "dhcp-client: bad host name '$hostname'"
    [[ -n $mac ]] || mac=$(printf '02:44:%02x:%02x:%02x:%02x' $((RANDOM & 255)) $((RANDOM & 255)) \
        $((RANDOM & 255)) $((RANDOM & 255)))
    check_mac "$mac"
    local prefix state ns
    prefix=$(cut -d/ -f2 "$(lab_dir "$lab")/subnet")
    state=$(lab_dir "$lab")/client-$name
    ns=$(ns_name "$lab" "$name")
    (
        lock
        host_known "$lab" "$name" && die "host '$name' exists already in lab '$lab'"
        # No address of its own: the record says "-" until the client has one.
        add_host "$lab" "$name" - "$prefix" "$mac"
    ) || exit 1
    rm -rf "$state"
    mkdir -p "$state/run" "$state/lib"
    write_dhcp_hook "$state/hook" "$client" /srv
    local -a cmd
    case $client in
    dhcpcd) cmd=(dhcpcd -4 -B -f /dev/null -c /srv/hook -h "$hostname" eth0) ;;
    udhcpc)
        cmd=(udhcpc -f -i eth0 -s /srv/hook -x "hostname:$hostname" -p /srv/pid)
        [[ -z $vendor ]] || cmd+=(-V "$vendor")
        if [[ -n $request ]]; then
            cmd+=(-o)
            local code
            for code in ${request//,/ }; do cmd+=(-O "$code"); done
        fi ;;
    dhclient)
        printf 'send host-name "%s";\n' "$hostname" >"$state/dhclient.conf"
        [[ -z $vendor ]] || printf 'send vendor-class-identifier "%s";\n' "$vendor" >>"$state/dhclient.conf"
        cmd=(dhclient -4 -d -sf /srv/hook -cf /srv/dhclient.conf -lf /srv/leases -pf /srv/pid eth0) ;;
    esac
    # Ended with the namespace (remove, down).
    setsid ip netns exec "$ns" unshare --mount --uts --propagation private sh -c \
        'mount --bind "$1" /srv && mount --bind /srv/run /run && mount --bind /srv/lib /var/lib && hostname "$2" &&
            shift 2 && exec "$@"' \
        sh "$state" "$hostname" "${cmd[@]}" </dev/null >"$state/log" 2>&1 &
}

cmd_dhcp_bound() { # LAB NAME: "SECONDS.NANOS IP" of the last lease taken, exit 1 while none
    (($# == 2)) || die "dhcp-bound: LAB NAME"
    local f
    f=$(lab_dir "$1")/client-$2/bound
    [[ -s $f ]] || exit 1
    tail -n1 "$f"
}

cmd_vlan() { # LAB HOST ID IP[/P] [--only]
    (($# == 4 || $# == 5)) || die "vlan: LAB HOST ID IP[/P] [--only]"
    require_lab "$1"
    host_known "$1" "$2" || die "no host '$2' in lab '$1'"
    [[ $3 =~ ^[0-9]{1,4}$ ]] && (($3 >= 1 && $3 <= 4094)) || die "vlan: bad VLAN id '$3'"
    local address ip prefix ns
    address=$(split_address "$1" "$4")
    read -r ip prefix <<<"$address"
    ns=$(ns_name "$1" "$2")
    local err
    if ! err=$(ip -n "$ns" link add link eth0 name "eth0.$3" type vlan id "$3" 2>&1); then
        [[ $err == *"Unknown device type"* ]] || die "vlan: $err"
        # A kernel built without CONFIG_VLAN_8021Q: the VLAN becomes a second, untagged link of the same
        # name and MAC on a bridge of its own, which is what a host sees of a VLAN: another adapter on
        # another broadcast domain. The tags themselves go untested, and the caller is told so.
        echo "netlab: vlan: this kernel has no 802.1Q support; eth0.$3 is an untagged link on bridge br$3" >&2
        local sw port
        sw=$(ns_name "$1" switch)
        port=$(printf 't%s-%s' "$3" "$2" | cut -c1-15)
        ip -n "$sw" link show "br$3" >/dev/null 2>&1 ||
            { ip -n "$sw" link add "br$3" type bridge stp_state 0 forward_delay 0 && ip -n "$sw" link set "br$3" up; }
        ip -n "$sw" link add "$port" type veth peer name "eth0.$3" netns "$ns"
        ip -n "$ns" link set "eth0.$3" address "$(host_field "$1" "$2" 4)"
        ip -n "$sw" link set "$port" master "br$3" up
    fi
    ip -n "$ns" addr add "$ip/$prefix" dev "eth0.$3"
    ip -n "$ns" link set "eth0.$3" up
    if [[ ${5:-} == --only ]]; then
        ip -n "$ns" addr flush dev eth0
    elif [[ -n ${5:-} ]]; then
        die "vlan: unknown option '$5'"
    fi
}
