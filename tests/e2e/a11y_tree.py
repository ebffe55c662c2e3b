#!/usr/bin/python3
# What a screen reader finds of a program on the accessibility bus (AT-SPI), one line per object:
# "DEPTH<TAB>ROLE<TAB>NAME<TAB>showing|hidden", depth first; line breaks inside a name become spaces.
#
#   a11y_tree.py tree PID    the objects of the process's application (depth 0), its windows below;
#                            exit status 1 when the process has none on the bus
#   a11y_tree.py menus DIR   runs until killed: each popup menu a process shows is written, the menu
#                            at depth 0, to DIR/menu-PID.txt (replaced whole), again whenever one of
#                            its entries takes the focus; DIR/ready once it listens
#
# Popup menus are no children of their application (Qt leaves them out of its window list): a screen
# reader learns of them from the events that they show or that an entry has the focus, and so does
# the second form.
import os
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402


def lines(obj, out, depth=0):
    if depth > 40:
        return
    try:
        role = obj.get_role_name()
        name = (obj.get_name() or "").replace("\n", " ").replace("\t", " ")
        showing = obj.get_state_set().contains(Atspi.StateType.SHOWING)
        count = obj.get_child_count()
    except GLib.Error:
        return  # gone while being read
    out.append(f"{depth}\t{role}\t{name}\t{'showing' if showing else 'hidden'}")
    for i in range(count):
        try:
            child = obj.get_child_at_index(i)
        except GLib.Error:
            continue
        if child is not None:
            lines(child, out, depth + 1)


def tree(pid):
    desktop = Atspi.get_desktop(0)
    out = []
    for i in range(desktop.get_child_count()):
        try:
            app = desktop.get_child_at_index(i)
            if app is None or app.get_process_id() != pid:
                continue
        except GLib.Error:
            continue
        lines(app, out)
    if not out:
        return 1
    print("\n".join(out))
    return 0


def write_whole(path, text):
    with open(path + ".new", "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(path + ".new", path)


def menus(folder):
    def write_menu(menu):
        try:
            pid = menu.get_process_id()
        except GLib.Error:
            return
        out = []
        lines(menu, out)
        if out:
            write_whole(os.path.join(folder, f"menu-{pid}.txt"), "\n".join(out) + "\n")

    def changed(event):
        # A menu showing, or an entry of one taking the focus (by then the menu surely shows).
        if event.detail1 != 1:
            return
        try:
            source = event.source
            role = source.get_role()
            if event.type.startswith("object:state-changed:focused"):
                if role != Atspi.Role.MENU_ITEM:
                    return
                source = source.get_parent()
                role = source.get_role() if source else None
        except GLib.Error:
            return
        if role in (Atspi.Role.POPUP_MENU, Atspi.Role.MENU):
            write_menu(source)

    listener = Atspi.EventListener.new(changed)
    listener.register("object:state-changed:showing")
    listener.register("object:state-changed:focused")
    write_whole(os.path.join(folder, "ready"), "")
    Atspi.event_main()
    return 0


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "tree":
        return tree(int(sys.argv[2]))
    if len(sys.argv) == 3 and sys.argv[1] == "menus":
        return menus(sys.argv[2])
    print("usage: a11y_tree.py tree PID | a11y_tree.py menus DIR", file=sys.stderr)
    return 2


sys.exit(main())
