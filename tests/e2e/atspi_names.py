# Prints what a screen reader finds of the shown window of the application named by the first
# argument, one object a line: role|name|description|focused.
import sys

import pyatspi


def walk(accessible, depth=0):
    states = accessible.getState()
    if depth and not states.contains(pyatspi.STATE_SHOWING):
        return
    flat = [text.replace("\n", " / ") for text in (accessible.name, accessible.description)]
    focused = "focused" if states.contains(pyatspi.STATE_FOCUSED) else ""
    print("|".join([accessible.getRoleName()] + flat + [focused]))
    for child in accessible:
        if child is not None:
            walk(child, depth + 1)


for application in pyatspi.Registry.getDesktop(0):
    if application is not None and application.name == sys.argv[1]:
        walk(application)
