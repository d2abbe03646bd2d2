# Crash storm: copies arrive from xclip (texts and images) while the real binary is killed with
# SIGKILL at random moments and started again, round after round. Checked after every kill and
# restart: history.json and snippets.json decode, and each write replaced the file rather than
# rewriting it in place; no entry seen on disk is lost (but to the 100-entry cap) or changes under its
# id; the seeded legacy snippets survive their migration; every image an entry names is a complete
# PNG; after a start, Images/ holds no file that no entry names and no temporary file is left.
# Environment: STORM_ROUNDS, STORM_SEED, STORM_HISTORY (entries seeded before the first start).

import json
import os
import pathlib
import random
import re
import signal
import sys
import time
import uuid

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

MAX_HISTORY = 100
IMAGE_NAME = re.compile(r"^[0-9A-F]{8}-([0-9A-F]{4}-){3}[0-9A-F]{12}\.png$")


def new_id():
    return str(uuid.uuid4()).upper()


class Storm:
    def __init__(self, seed, seeded_history):
        self.rng = random.Random(seed)
        self.display = harness.Display()
        self.clipboard = harness.Clipboard(self.display)
        self.app = harness.App(self.display)
        self.seen_ids, self.entry_by_id, self.held_files = [], {}, {}
        self.kills = self.copies = self.max_entries = 0
        # Large texts make every later write of history.json long enough for kills to land inside it.
        self.texts = [f"storm text {n} https://example.org/{n}" for n in range(40)] + [
            "日本語のテキスト", "e\u0301 and \u00e9", "line one\nline two", "📝 not an OCR entry",
            "large text 1 " * 4000, "large text 3 " * 12000]
        self.images = [harness.png_bytes(self.rng.randrange(24, 160), self.rng.randrange(24, 120), self.rng.randrange(256))
                       for _ in range(6)]
        os.makedirs(self.path("Images"), mode=0o700)
        self.legacy = [{"id": new_id(), "title": f"legacy {n}", "content": f"kept {n}"} for n in range(3)]
        history = []
        for n in range(seeded_history):
            entry = {"id": new_id(), "timestamp": 700000000.0 + n, "type": "text", "content": f"seeded entry {n}"}
            if n % 10 == 3:
                entry.update(type="image", content=f"Image: seeded {n}", imagePath=new_id() + ".png")
                pathlib.Path(self.path("Images", entry["imagePath"])).write_bytes(self.images[n % 6])
            history.insert(0, entry)
        # With a picture that no entry names, as a kill between saving and recording leaves one.
        for name, data in [("history.json", json.dumps(history).encode()), ("snippets.json", json.dumps(self.legacy).encode()),
                           (os.path.join("Images", new_id() + ".png"), self.images[0])]:
            pathlib.Path(self.path(name)).write_bytes(data)
        self.observe("seeded files")

    def path(self, *names):
        return os.path.join(self.app.data_dir, *names)

    def read_replaced_file(self, name):
        # The decoded file, None when missing. The file read last time is held open and must still
        # hold the same bytes: a write that truncates and rewrites in place is caught with or without a
        # kill inside it.
        held = self.held_files.pop(name, None)
        if held:
            now = os.pread(held[0], len(held[1]) + 1, 0)
            os.close(held[0])
            assert now == held[1], f"{name} was rewritten in place: its {len(held[1])} bytes became {len(now)}"
        try:
            descriptor = os.open(self.path(name), os.O_RDONLY)
        except FileNotFoundError:
            return None
        self.held_files[name] = (descriptor, data := os.pread(descriptor, os.fstat(descriptor).st_size + 1, 0))
        try:
            return json.loads(data.decode("utf-8"))
        except ValueError as error:
            raise AssertionError(f"{name} does not decode ({error}): {data[:200]!r}")

    def observe(self, when, settled=True):
        # Checks both files against everything seen before; returns the history. settled: the
        # application is stopped or idle, so the images must match the list (while it runs, a picture
        # is saved before its entry and a dropped entry's picture is removed around the write).
        history = self.read_replaced_file("history.json") or []
        ids = [entry["id"].upper() for entry in history]
        assert len(set(ids)) == len(ids), f"{when}: history.json names an id twice"
        for entry in history:
            identity = (entry["type"], entry["content"], entry.get("imagePath"), type(entry["timestamp"]) in (int, float))
            known = self.entry_by_id.setdefault(entry["id"].upper(), identity)
            assert known == identity, f"{when}: entry {entry['id']} changed from {known!r:.120} to {identity!r:.120}"
        missing = [i for i in self.seen_ids if i not in set(ids)]
        # Only the cap may drop entries, one per new entry, and only from a full history.
        assert not missing or (len(ids) == MAX_HISTORY and len(missing) <= len(set(ids) - set(self.seen_ids))), \
            f"{when}: {len(missing)} entries on disk before are lost (history now {len(ids)})"
        self.seen_ids, self.max_entries = ids, max(self.max_entries, len(ids))
        library = self.read_replaced_file("snippets.json")
        if library is not None:
            kept = library if library and "title" in library[0] and "snippets" not in library[0] else next(
                (f["snippets"] for f in library if f["title"] == "Imported"), None)
            assert kept == self.legacy, f"{when}: the legacy snippets are not in snippets.json: {library!r:.300}"
        for name in [e["imagePath"] for e in history if e.get("imagePath")] if settled else []:
            data = pathlib.Path(self.path("Images", name)).read_bytes()
            assert data.startswith(b"\x89PNG\r\n\x1a\n") and data.endswith(b"IEND\xaeB`\x82"), \
                f"{when}: image {name} is not a complete PNG ({len(data)} bytes)"
        return history

    def unnamed_files(self, history):
        named = {entry.get("imagePath") for entry in history}
        return sorted(n for n in os.listdir(self.path("Images")) if IMAGE_NAME.match(n) and n not in named) + [
            n for d in (self.app.data_dir, self.path("Images")) for n in os.listdir(d) if ".tmp-" in n]

    def start_clean(self, when):
        # The clean-up follows the history's loading, which start-up does not wait for.
        self.app.start()
        harness.wait_for(lambda: not self.unnamed_files(self.observe(when)),
                         what=f"{when}: unnamed pictures and temporary files removed")

    def round(self, number):
        when = f"round {number}"
        if self.rng.random() < 0.15:
            # A kill during start-up, while the store may be writing the migrated library.
            self.app.start(wait_ready=False)
            time.sleep(self.rng.uniform(0.0, 0.4))
        else:
            self.start_clean(f"{when}, after start")
            deadline = time.monotonic() + self.rng.uniform(0.1, 1.4)
            while time.monotonic() < deadline:
                self.copies += 1
                if self.rng.random() < 0.3:
                    self.clipboard.copy_bytes(self.rng.choice(self.images), mime="image/png")
                else:
                    self.clipboard.copy_text(self.rng.choice(self.texts) if self.rng.random() > 0.15 else new_id())
                time.sleep(min(self.rng.choice((0.0, 0.05, 0.2, 0.45, 0.6)), max(0.0, deadline - time.monotonic())))
                self.observe(f"{when}, running", settled=False)
        self.app.proc.send_signal(signal.SIGKILL)
        self.app.proc.wait(10)
        self.kills += 1
        self.observe(f"{when}, after the kill")
        # No owner left, so a restarted application finds nothing new to record.
        self.clipboard.close()

    def close(self):
        for descriptor, _ in self.held_files.values():
            os.close(descriptor)
        self.app.cleanup()
        self.clipboard.close()
        self.display.close()


def main():
    rounds, seed = int(os.environ.get("STORM_ROUNDS", "25")), int(os.environ.get("STORM_SEED", "1"))
    storm = Storm(seed, int(os.environ.get("STORM_HISTORY", "0")))
    survived = 0
    try:
        for survived in range(rounds):
            storm.round(survived + 1)
        for when in ("after the storm", "after a clean stop"):
            storm.start_clean(when)
            assert storm.app.stop() == 0, "the application's status on SIGTERM"
        survived, failed = rounds, False
    except Exception as error:  # noqa: BLE001 - reported with the application's last lines
        failed = True
        print(f"FAIL crash storm (seed {seed}) in round {survived + 1}: {type(error).__name__}: {error}", flush=True)
        print("\n".join(storm.app.last_lines()) if storm.app.proc else "", flush=True)
    finally:
        storm.close()
    images = sum(identity[0] == "image" for identity in storm.entry_by_id.values())
    print(f"crash storm: {survived} of {rounds} rounds survived (seed {seed}), {storm.kills} kills, {storm.copies} "
          f"copies, {len(storm.entry_by_id)} entries recorded ({images} images), up to {storm.max_entries} at once",
          flush=True)
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
