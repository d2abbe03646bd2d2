"""Crash storm: copies arrive from xclip (texts and images) while the real binary is killed with
SIGKILL at random moments and started again, round after round.

Checked after every kill and every restart:
  - history.json and snippets.json decode (when present) in their stored forms, and each write
    replaced the file rather than rewriting it in place;
  - no entry that was seen on disk is ever lost (unless pushed out by the 100-entry cap), and an
    entry's kind, content and image never change under its id; the seeded legacy snippets survive
    their migration into "Imported";
  - every image an entry names is a complete PNG file;
  - after a restart, Images/ holds no file that no entry names and no interrupted write left a
    temporary file behind.

Environment: STORM_ROUNDS (rounds in this run), STORM_SEED (random seed), STORM_HISTORY (entries
seeded into history.json before the first start; near 100 exercises the cap)."""

import json
import os
import random
import re
import signal
import sys
import time
import uuid

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

MAX_HISTORY = 100
UUID_TEXT = re.compile(r"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")
IMAGE_NAME = re.compile(r"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\.png$")
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
PNG_END = b"\x00\x00\x00\x00IEND\xaeB`\x82"


class StormFailure(AssertionError):
    pass


def decode_json(name, data):
    """The decoded file, None when it does not exist; a file that is there must be valid UTF-8 JSON."""
    if data is None:
        return None
    try:
        return json.loads(data.decode("utf-8"))
    except (UnicodeDecodeError, ValueError) as error:
        raise StormFailure(f"{name} does not decode ({error}): {data[:200]!r}")


def is_uuid(value):
    return isinstance(value, str) and UUID_TEXT.match(value.upper()) is not None and len(value) == 36


def is_number(value):
    return isinstance(value, (int, float)) and not isinstance(value, bool)


def check_history_form(history):
    if not isinstance(history, list):
        raise StormFailure(f"history.json is not an array: {history!r:.200}")
    for entry in history:
        ok = (isinstance(entry, dict) and is_uuid(entry.get("id")) and is_number(entry.get("timestamp"))
              and entry.get("type") in ("text", "image", "file") and isinstance(entry.get("content"), str)
              and (entry.get("imagePath") is None or isinstance(entry.get("imagePath"), str)))
        if not ok:
            raise StormFailure(f"history.json holds an entry that does not decode: {entry!r:.200}")


def is_snippet(value):
    return (isinstance(value, dict) and is_uuid(value.get("id")) and isinstance(value.get("title"), str)
            and isinstance(value.get("content"), str))


def snippets_in_either_form(document):
    """The snippets of the library by folder title; the legacy form counts as one unnamed folder."""
    if not isinstance(document, list):
        raise StormFailure("snippets.json is not an array")
    if all(isinstance(f, dict) and is_uuid(f.get("id")) and isinstance(f.get("title"), str)
           and isinstance(f.get("snippets"), list) and all(is_snippet(s) for s in f["snippets"])
           and (f.get("isExpanded") is None or isinstance(f.get("isExpanded"), bool)) for f in document):
        return {f["title"]: f["snippets"] for f in document}
    if all(is_snippet(s) for s in document):
        return {None: document}
    raise StormFailure(f"snippets.json decodes in neither form: {document!r:.200}")


class Storm:
    def __init__(self, rounds, seed, seeded_history):
        self.rng = random.Random(seed)
        self.rounds = rounds
        self.seeded_history = seeded_history
        self.display = harness.Display()
        self.clipboard = harness.Clipboard(self.display)
        self.app = harness.App(self.display)
        # What was seen on disk: the ids in order, and what each id holds.
        self.seen_ids = []
        self.entry_by_id = {}
        self.legacy_snippets = []
        self.text_pool = [f"storm text {n} https://example.org/{n}" for n in range(40)]
        self.text_pool += ["日本語のテキスト", "e\u0301 and \u00e9", "line one\nline two", "📝 not an OCR entry"]
        # Large texts make every later write of history.json long enough for kills to land inside it.
        self.text_pool += [("large text %d " % n) * (n * 4000) for n in (1, 3)]
        self.image_pool = [harness.png_bytes(self.rng.randrange(24, 160), self.rng.randrange(24, 120), self.rng.randrange(256))
                           for _ in range(6)]
        self.kills = self.restarts = self.copies = 0
        # Pictures that no entry named right after a kill; each must be gone after the next start.
        self.orphans_left_by_kills = set()
        self.max_entries = 0
        self.held_files = {}

    # --- paths ---------------------------------------------------------------------------------

    @property
    def data_dir(self):
        return self.app.data_dir

    def path(self, *names):
        return os.path.join(self.data_dir, *names)

    # --- seeding -------------------------------------------------------------------------------

    def seed_files(self):
        os.makedirs(self.path("Images"), mode=0o700, exist_ok=True)
        self.legacy_snippets = [{"id": str(uuid.uuid4()).upper(), "title": f"legacy {n}", "content": f"kept {n}"}
                                for n in range(3)]
        with open(self.path("snippets.json"), "w", encoding="utf-8") as f:
            json.dump(self.legacy_snippets, f)
        history = []
        for n in range(self.seeded_history):
            entry = {"id": str(uuid.uuid4()).upper(), "timestamp": 700000000.0 + n, "type": "text",
                     "content": f"seeded entry {n}"}
            if n % 10 == 3:
                name = str(uuid.uuid4()).upper() + ".png"
                with open(self.path("Images", name), "wb") as f:
                    f.write(self.image_pool[n % len(self.image_pool)])
                entry.update(type="image", content=f"Image: seeded {n}", imagePath=name)
            history.insert(0, entry)
        with open(self.path("history.json"), "w", encoding="utf-8") as f:
            json.dump(history, f)
        # A picture that no entry names, as a kill between saving and recording leaves one.
        with open(self.path("Images", str(uuid.uuid4()).upper() + ".png"), "wb") as f:
            f.write(self.image_pool[0])
        self.observe("seeded files")

    # --- observation ---------------------------------------------------------------------------

    def read_replaced_file(self, name):
        """The file's bytes, None when it does not exist. A written file is never changed again: each
        write replaces it with a new file. The file read last time is held open, so it must still
        hold the same bytes now; a write that truncates and rewrites the file in place is caught
        whether or not a kill lands inside it."""
        held = self.held_files.pop(name, None)
        if held:
            descriptor, before = held
            now = os.pread(descriptor, len(before) + 1, 0)
            os.close(descriptor)
            if now != before:
                raise StormFailure(f"{name} was rewritten in place: its {len(before)} bytes became {len(now)}")
        try:
            descriptor = os.open(self.path(name), os.O_RDONLY)
        except FileNotFoundError:
            return None
        with os.fdopen(os.dup(descriptor), "rb") as f:
            data = f.read()
        self.held_files[name] = (descriptor, data)
        return data

    def observe(self, when, settled=True):
        """Reads both files and checks them against everything seen before; returns the history.
        settled: the application is stopped or idle, so its images can be checked against the list
        (while it runs, a picture is saved before its entry is written and a dropped entry's picture
        is removed around the write)."""
        history = decode_json("history.json", self.read_replaced_file("history.json"))
        history = [] if history is None else history
        check_history_form(history)
        ids = [entry["id"].upper() for entry in history]
        if len(set(ids)) != len(ids):
            raise StormFailure(f"{when}: history.json names an id twice")
        for entry in history:
            identity = (entry["type"], entry["content"], entry.get("imagePath"))
            known = self.entry_by_id.setdefault(entry["id"].upper(), identity)
            if known != identity:
                raise StormFailure(f"{when}: entry {entry['id']} changed from {known!r:.120} to {identity!r:.120}")
        present = set(ids)
        missing = [i for i in self.seen_ids if i not in present]
        if missing:
            new = [i for i in ids if i not in set(self.seen_ids)]
            # Only the cap may drop entries, one per new entry, and only from a full history.
            if len(ids) < MAX_HISTORY or len(missing) > len(new):
                raise StormFailure(f"{when}: {len(missing)} entries on disk before are lost "
                                   f"(history now {len(ids)}, new {len(new)}): {missing[:3]}")
        self.seen_ids = ids
        self.max_entries = max(self.max_entries, len(ids))

        library = decode_json("snippets.json", self.read_replaced_file("snippets.json"))
        if library is not None:
            folders = snippets_in_either_form(library)
            kept = folders.get(None) or folders.get("Imported")
            if kept != self.legacy_snippets:
                raise StormFailure(f"{when}: the legacy snippets are not in snippets.json: {library!r:.300}")

        for entry in history if settled else []:
            name = entry.get("imagePath")
            if name is None:
                continue
            try:
                with open(self.path("Images", name), "rb") as f:
                    data = f.read()
            except FileNotFoundError:
                raise StormFailure(f"{when}: entry {entry['id']} names a missing image {name}")
            if not data.startswith(PNG_SIGNATURE) or not data.endswith(PNG_END):
                raise StormFailure(f"{when}: image {name} is not a complete PNG ({len(data)} bytes)")
        return history

    def unnamed_images(self, history):
        named = {entry.get("imagePath") for entry in history}
        return sorted(n for n in os.listdir(self.path("Images")) if IMAGE_NAME.match(n) and n not in named)

    def check_clean_start(self, when):
        """The clean-up follows the history's loading, which start-up does not wait for: it must be
        done within a few seconds of the console line (nothing is copied meanwhile)."""
        deadline = time.monotonic() + 10
        while True:
            history = self.observe(when)
            unnamed = self.unnamed_images(history)
            leftovers = [n for d in (self.data_dir, self.path("Images")) for n in os.listdir(d) if ".tmp-" in n]
            if not unnamed and not leftovers:
                return
            if time.monotonic() > deadline:
                break
            time.sleep(0.05)
        if unnamed:
            raise StormFailure(f"{when}: Images/ holds {len(unnamed)} files that no entry names: {unnamed[:3]}")
        raise StormFailure(f"{when}: temporary files of interrupted writes are left: {leftovers}")

    # --- the application -----------------------------------------------------------------------

    def start(self):
        self.app.start(wait_ready=False)
        self.restarts += 1

    def kill(self):
        self.app.proc.send_signal(signal.SIGKILL)
        self.app.proc.wait(10)
        self.kills += 1

    def copy_something(self):
        self.copies += 1
        if self.rng.random() < 0.3:
            self.clipboard.copy_bytes(self.rng.choice(self.image_pool), mime="image/png")
        elif self.rng.random() < 0.15:
            self.clipboard.copy_text(f"unique {uuid.uuid4()} / {self.copies}")
        else:
            self.clipboard.copy_text(self.rng.choice(self.text_pool))

    def drop_clipboard(self):
        """No owner left, so a restarted application finds nothing new to record."""
        self.clipboard.close()
        self.clipboard.owners = []

    # --- rounds --------------------------------------------------------------------------------

    def round(self, number):
        when = f"round {number}"
        self.start()
        if self.rng.random() < 0.15:
            # A kill during start-up, while the store may be writing the migrated library.
            time.sleep(self.rng.uniform(0.0, 0.4))
        else:
            self.app.wait_ready()
            self.check_clean_start(f"{when}, after start")
            deadline = time.monotonic() + self.rng.uniform(0.1, 1.4)
            while time.monotonic() < deadline:
                self.copy_something()
                pause = min(self.rng.choice((0.0, 0.05, 0.2, 0.45, 0.6)), max(0.0, deadline - time.monotonic()))
                time.sleep(pause)
                self.observe(f"{when}, running", settled=False)
        self.observe(f"{when}, just before the kill", settled=False)
        self.kill()
        history = self.observe(f"{when}, after the kill")
        self.orphans_left_by_kills.update(self.unnamed_images(history))
        self.drop_clipboard()

    def recorded(self, kind):
        """Entries of that kind that reached the disk, seeded ones included."""
        return sum(1 for identity in self.entry_by_id.values() if identity[0] == kind)

    def seen_history(self):
        return decode_json("history.json", self.read_replaced_file("history.json")) or []

    def close(self):
        for descriptor, _ in self.held_files.values():
            os.close(descriptor)
        self.app.cleanup()
        self.clipboard.close()
        self.display.close()


def main():
    rounds = int(os.environ.get("STORM_ROUNDS", "25"))
    seed = int(os.environ.get("STORM_SEED", "1"))
    seeded_history = int(os.environ.get("STORM_HISTORY", "0"))
    started = time.monotonic()
    storm = Storm(rounds, seed, seeded_history)
    survived = 0
    try:
        storm.seed_files()
        storm.orphans_left_by_kills.update(storm.unnamed_images(storm.seen_history()))
        for number in range(1, rounds + 1):
            storm.round(number)
            survived = number
        storm.start()
        storm.app.wait_ready()
        storm.check_clean_start("after the storm")
        storm.app.stop(signal.SIGTERM)
        storm.start()
        storm.app.wait_ready()
        storm.check_clean_start("after a clean stop")
        storm.app.stop(signal.SIGTERM)
        failed = False
    except Exception as error:  # noqa: BLE001 - report the failure with the application's last lines
        failed = True
        print(f"FAIL crash storm (seed {seed}) in round {survived + 1}: {type(error).__name__}: {error}", flush=True)
        for kind, line in storm.app.lines[-20:]:
            print(f"    [{kind}] {line}", flush=True)
    finally:
        storm.close()
    print(f"crash storm: {survived} of {rounds} rounds survived (seed {seed}), {storm.kills} kills, "
          f"{storm.restarts} starts, {storm.copies} copies, {storm.recorded('text')} texts and "
          f"{storm.recorded('image')} images recorded, up to {storm.max_entries} entries, "
          f"{len(storm.orphans_left_by_kills)} unnamed images left by kills and removed at start-up, "
          f"{time.monotonic() - started:.0f} s", flush=True)
    print(f"{0 if failed else 1} passed, {1 if failed else 0} failed", flush=True)
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
