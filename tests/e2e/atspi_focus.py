# Listens for focus as a screen reader does (Orca registers the same events) and prints each
# object that takes it, one a line: role|name|description. Runs until stopped.
import sys

import pyatspi


def focused(event):
    if event.type.startswith("object:state-changed:focused") and not event.detail1:
        return
    source = event.source
    flat = [text.replace("\n", " / ") for text in (source.name, source.description)]
    print("|".join([source.getRoleName()] + flat), flush=True)


pyatspi.Registry.registerEventListener(focused, "focus:", "object:state-changed:focused")
print("listening", flush=True)
pyatspi.Registry.start()
