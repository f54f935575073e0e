# Sourced by the peer loops. Runs a command on every PDF of a list, one after
# the other, and notes each one's wall time and when it ended, then the CPU
# time of everything the loop started. The clock is read by the shell itself,
# so the only process started per PDF is the command.

microseconds() {
    local now=${1/./}
    echo $((10#$now))
}

seconds() { # microseconds
    printf '%d.%06d' $(($1 / 1000000)) $(($1 % 1000000))
}

# User and system time, in clock ticks, of the loop's processes already waited for.
childTicks() {
    local fields
    read -ra fields </proc/$$/stat
    echo $((fields[15] + fields[16]))
}

cpuSecondsSince() { # ticks
    awk -v t=$(($(childTicks) - $1)) -v hz="$(getconf CLK_TCK)" 'BEGIN { print t / hz }'
}

timedLoop() { # list warmup-list prefix command
    local list=$1 warmup=$2 prefix=$3 command=$4
    local pdf order=0 loopStart start end ok ticksBefore
    while IFS= read -r pdf; do
        "$command" "$pdf" 2>/dev/null || true
    done <"$warmup"
    ticksBefore=$(childTicks)
    loopStart=$(microseconds "$EPOCHREALTIME")
    {
        printf 'order\tseconds\tfinished\tok\tpath\n'
        while IFS= read -r pdf; do
            order=$((order + 1))
            start=$(microseconds "$EPOCHREALTIME")
            if "$command" "$pdf" 2>>"$prefix.log"; then ok=1; else ok=0; fi
            end=$(microseconds "$EPOCHREALTIME")
            printf '%d\t%s\t%s\t%d\t%s\n' "$order" "$(seconds $((end - start)))" \
                "$(seconds $((end - loopStart)))" "$ok" "$pdf"
        done <"$list"
    } >"$prefix.files.tsv"
    end=$(microseconds "$EPOCHREALTIME")
    printf 'files\t%d\nseconds_total\t%s\ncpu_seconds\t%s\n' "$order" \
        "$(seconds $((end - loopStart)))" "$(cpuSecondsSince "$ticksBefore")" >"$prefix.summary"
}
