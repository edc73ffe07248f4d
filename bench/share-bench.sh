#!/usr/bin/env bash
# The application on a network share: a folder of photos served over SFTP through sshfs, with
# delay-pipe (see delay-pipe.cpp) between sshfs and the SFTP server, so every request waits one
# round trip as on a network (no daemon, keys or network namespace needed). For each round trip:
#   land    what a number key costs until the photo is on the share: calvenor-journal-bench's
#           journaled filing of one photo at a time, the journal on the home disk, against the
#           same on the local disk
#   race    the first screen of thumbnails of the set, ours against the peers, each run on a
#           freshly mounted share (nothing of it cached), through bench/peer-race.sh --view
#   bench/share-bench.sh [--rtts "2 20"] [--set jpeg10k] [--apps "calvenor geeqie qimgv gthumb"]
#                        [--runs 3] [--filings 100] [--no-race]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
rtts="2 20"
set=jpeg10k
apps="calvenor geeqie qimgv gthumb"
runs=3
filings=100
race=yes
while [ $# -gt 0 ]; do
    case $1 in
    --rtts) rtts=$2; shift 2 ;;
    --set) set=$2; shift 2 ;;
    --apps) apps=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --filings) filings=$2; shift 2 ;;
    --no-race) race=no; shift ;;
    *)
        sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
        exit 2
        ;;
    esac
done
if [ "$(id -u)" -ne 0 ]; then
    echo "share-bench: run as root (mounts in a private namespace, installs the peers)" >&2
    exit 2
fi
"$repo/scripts/install-deps.sh" # sshfs and the SFTP server
work=/tmp/race
mkdir -p "$work/bin" "$work/share" "$work/land"
g++ -std=c++20 -O2 -Wall -Wextra -o "$work/bin/delay-pipe" "$repo/bench/delay-pipe.cpp" -pthread
journal_bench=$("$repo/bench/build-target.sh" calvenor-journal-bench)

# The ssh command sshfs runs: the SFTP server behind the delay.
ssh_script() { # RTT -> the script's path
    local script=$work/bin/ssh-$1.sh
    printf '#!/bin/sh\nexec %s %s /usr/lib/openssh/sftp-server\n' "$work/bin/delay-pipe" "$1" >"$script"
    chmod 700 "$script"
    echo "$script"
}

land() { # FOLDER -> journaled ms per filing
    "$journal_bench" "$1" --filings "$filings" --state "$work/land" |
        sed -n 's/.*journaled_ms_per_filing=\([0-9.]*\).*/\1/p'
}

local_ms=$(land "$work/land")
echo "land local: $local_ms ms per number key ($filings filings)"
for rtt in $rtts; do
    script=$(ssh_script "$rtt")
    mkdir -p "$work/land/share-$rtt"
    share_ms=$(unshare -m --propagation private bash -c "
        sshfs -o ssh_command='$script' 'share:$work/land/share-$rtt' '$work/share' &&
        $(declare -f land); journal_bench='$journal_bench' filings=$filings work='$work' land '$work/share';
        umount -l '$work/share'")
    awk -v rtt="$rtt" -v ms="$share_ms" -v base="$local_ms" 'BEGIN {
        printf "land rtt=%s ms: %s ms per number key = local + %.1f round trips\n", rtt, ms, (ms - base) / rtt }'
    if [ "$race" = yes ]; then
        remount="umount -l '$work/share' 2>/dev/null || true; sshfs -o ssh_command='$script' 'share:$work/corpus' '$work/share'"
        echo "race rtt=$rtt ms: $set through the share, each run on a fresh mount"
        unshare -m --propagation private "$repo/bench/peer-race.sh" --sets "$set" --modes warm \
            --apps "$apps" --runs "$runs" --keep --view "$work/share" --before-run "$remount"
    fi
done
