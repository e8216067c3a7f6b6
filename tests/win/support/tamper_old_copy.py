"""What a player's antivirus or backup tool may do to a file while the
launcher builds its next release from it, done by a native process (which
Windows' share modes, enforced only among Wine's own processes, do not stop):

    tamper_old_copy.py flip PART OLD OFFSET LENGTH TRIGGER DONE
        once PART appears, change LENGTH bytes of OLD at OFFSET; put them back
        once PART has grown to TRIGGER bytes (the writing has passed them)
    tamper_old_copy.py cut PART OLD OFFSET - - DONE
        once PART appears, cut OLD to OFFSET bytes

Writes DONE.ready once it is watching, DONE (what it did) when it is
through; gives up after 60 s."""
import os
import sys
import time

mode, part, old, offset, length, trigger, done = sys.argv[1:8]
deadline = time.monotonic() + 60


def wait_for(condition):
    while not condition():
        if time.monotonic() > deadline:
            open(done, "w").write("gave up\n")
            sys.exit(1)
        time.sleep(0.0002)


def part_size():
    try:
        return os.path.getsize(part)
    except OSError:
        return -1


with open(old, "r+b") as f:  # opened before: the bytes put back go to this file, not to what replaces it
    open(done + ".ready", "w").write("watching\n")
    wait_for(lambda: os.path.exists(part))
    if mode == "cut":
        f.truncate(int(offset))
        open(done, "w").write("cut\n")
        sys.exit(0)
    at, count = int(offset), int(length)
    f.seek(at)
    original = f.read(count)
    f.seek(at)
    f.write(bytes(b ^ 0x55 for b in original))
    f.flush()
    wait_for(lambda: part_size() >= int(trigger) or part_size() < 0)
    f.seek(at)
    f.write(original)
    f.flush()
    open(done, "w").write(f"flipped and put back at part size {part_size()}\n")
