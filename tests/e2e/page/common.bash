# Sourced by the setups and checks of the cases under page/: zkbatch --serve
# runs as the case's program, in the background of the run, and
# page_driver.py drives its page in headless Chromium and stops it.

# drive SCENARIO: starts the driver; zkbatch's pid is recorded for it.
drive() {
    wrapper=("${record_pid[@]}")
    /usr/bin/python3 "$here/page_driver.py" "$1" >page.out 2>page.err &
    page_driver=$!
}

# For the check: waits for the driver and adds what it printed to standard
# output; puts TOKEN for the token, which is new at each start; and leaves
# out the scans' requests from the devices' logs, whose number depends on
# how long the page took.
page_results() {
    wait "$page_driver"
    cat page.out >>stdout
    grep -q '^FAILED' page.out && cat page.err
    sed -i 's/token=[0-9a-f]\{32\}/token=TOKEN/' stderr
    sed -i '/ find zefo\.\*$/d' ./*.log
    return 0
}
