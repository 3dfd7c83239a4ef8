# shellcheck shell=bash
# Sourced by scripts/run.sh and scripts/screenshots.sh (and the test that runs the demo with an empty
# home folder): `demo_environment DIR` points every file the tool reads or writes into DIR, so that a demo
# never touches the operator's own settings, journal or window places.
#
#   RMZ47_SETTINGS          the settings file, whose COM1 the demo maps to the virtual controller
#   RMZ47_DATA_DIR          the journal of configure jobs
#   RMZ47_MONITOR_SETTINGS  the line monitor's size and place
#   XDG_CONFIG_HOME         what Qt itself keeps (the file dialogs' last folder and history)
demo_environment() {
    local dir=$1
    mkdir -p "$dir/config"
    export RMZ47_SETTINGS="$dir/marvil.ini"
    export RMZ47_DATA_DIR="$dir"
    export RMZ47_MONITOR_SETTINGS="$dir/monitor.ini"
    export XDG_CONFIG_HOME="$dir/config"
}
