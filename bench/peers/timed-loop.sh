# Sourced by the peer loops. Runs a command on every PDF of a list, one after
# the other, and notes each one's wall time, then the CPU time of everything
# the loop started. The clock is read by the shell itself, so the only process
# started per PDF is the command.

microseconds() {
    local now=${1/./}
    echo $((10#$now))
}

# User and system time, in clock ticks, of the loop's processes already waited for.
childTicks() {
    local fields
    read -ra fields </proc/$$/stat
    echo $((fields[15] + fields[16]))
}

timedLoop() { # list warmup-list prefix command
    local list=$1 warmup=$2 prefix=$3 command=$4
    local pdf order=0 start end ok ticksBefore ticksAfter
    while IFS= read -r pdf; do
        "$command" "$pdf" 2>/dev/null || true
    done <"$warmup"
    ticksBefore=$(childTicks)
    {
        printf 'order\tseconds\tok\tpath\n'
        while IFS= read -r pdf; do
            order=$((order + 1))
            start=$(microseconds "$EPOCHREALTIME")
            if "$command" "$pdf" 2>>"$prefix.log"; then ok=1; else ok=0; fi
            end=$(microseconds "$EPOCHREALTIME")
            printf '%d\t%d.%06d\t%d\t%s\n' "$order" $(((end - start) / 1000000)) \
                $(((end - start) % 1000000)) "$ok" "$pdf"
        done <"$list"
    } >"$prefix.files.tsv"
    ticksAfter=$(childTicks)
    printf 'files\t%d\ncpu_seconds\t%s\n' "$order" \
        "$(awk -v t=$((ticksAfter - ticksBefore)) -v hz="$(getconf CLK_TCK)" 'BEGIN { print t / hz }')" \
        >"$prefix.summary"
}
