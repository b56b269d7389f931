# The end-to-end tests' twin of tests/support/WaitScale.h: QUARL_WAIT_SCALE and the deadline.
import os
import re


def _scale():
    """QUARL_WAIT_SCALE by the rule of WaitScale.h: digits with at most one decimal point, above
    0; 1 when unset. Anything else stops the tests with a message."""
    text = os.environ.get("QUARL_WAIT_SCALE", "")
    if not text:
        return 1.0
    if not re.fullmatch(r"[0-9]*\.?[0-9]*", text) or not re.search(r"[0-9]", text) \
            or not float(text) > 0:
        raise SystemExit("QUARL_WAIT_SCALE=%s is not a positive number (digits with at most one "
                         "decimal point, such as 3 or 2.5)" % text)
    return float(text)


# Stretches every deadline, for slow machines.
WAIT_SCALE = _scale()
# Bound of a wait for something that normally happens within a second: only a failing test
# waits it out. kDeadlineMs of WaitScale.h is the same, in milliseconds.
DEADLINE = 30.0 * WAIT_SCALE
