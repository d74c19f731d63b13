#!/usr/bin/env bash
# Fails when an include between src/ folders points the wrong way. Allowed:
#   app -> window folders -> widgets -> sync, reminders, search -> exchange -> rules -> data
# A window folder includes another only where one of its windows opens the other's (none yet);
# a window that wants another opened asks the main window through a signal.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../src"

level() {
    case $1 in
    data) echo 0 ;;
    rules) echo 1 ;;
    exchange) echo 2 ;;
    sync | reminders | search) echo 3 ;;
    widgets) echo 4 ;;
    monthview | schedule | anniversary | rulesets | calendarexchange | syncsettings | reminderwindows | searchwindow) echo 5 ;;
    app) echo 6 ;;
    *) echo 9 ;;
    esac
}

bad=0
while IFS= read -r hit; do
    file=${hit%%:*}
    from=${file%%/*}
    to=$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<<"$hit")
    [ "$from" = "$to" ] && continue
    if [ "$(level "$to")" -ge "$(level "$from")" ]; then
        echo "wrong direction: $hit"
        bad=1
    fi
done < <(grep -rHE '^#include "[a-z]+/' --include='*.h' --include='*.cpp' --include='*.in' .  | sed 's#^\./##')
exit $bad
