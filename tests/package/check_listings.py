#!/usr/bin/python3
"""Validates listing texts against docs/listing.schema.json.

  check_listings.py SCHEMA FILE...     every line of every FILE is one listing;
                                       fails on a refused one, or on no listing at all
  check_listings.py SCHEMA --self-test the schema takes a right listing and
                                       refuses each kind of wrong one
"""
import json
import sys

import jsonschema

RIGHT = {"id": "runkey:ff3ae558395561a6", "source": "runkey", "name": "ExampleTool",
         "command": "C:\\Tools\\example.exe --tray", "enabled": True,
         "location": "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "scope": "user",
         "image": "C:\\Tools\\example.exe", "image_exists": True, "publisher": "Example Ltd",
         "description": "Example tool"}


def changed(**members):
    """RIGHT with members replaced; a member given as None is left out."""
    entry = {k: v for k, v in {**RIGHT, **members}.items() if v is not None}
    return json.dumps([entry])


# (what, listing text, accepted)
CASES = [
    ("the documented example", json.dumps([RIGHT]), True),
    ("the empty listing", "[]", True),
    ("no command", changed(command=None), True),
    ("each source with its own prefix",
     json.dumps([{**RIGHT, "source": s, "id": s + ":0123456789abcdef"}
                 for s in ("runkey", "runonce", "policy", "startup", "task", "package")]), True),
    ("a policy item off", changed(source="policy", id="policy:0123456789abcdef", enabled=False), False),
    ("an upper-case id", changed(id="runkey:FF3AE558395561A6"), False),
    ("15 digits", changed(id="runkey:ff3ae558395561a"), False),
    ("17 digits", changed(id="runkey:ff3ae558395561a6a"), False),
    ("an id of another source", changed(id="task:ff3ae558395561a6"), False),
    ("an unknown source", changed(source="service", id="service:ff3ae558395561a6"), False),
    ("no id", changed(id=None), False),
    ("no source", changed(source=None), False),
    ("no name", changed(name=None), False),
    ("no enabled", changed(enabled=None), False),
    ("a twelfth member", changed(extra="x"), False),
    ("no location", changed(location=None), False),
    ("no image", changed(image=None), False),
    ("no image_exists", changed(image_exists=None), False),
    ("no description", changed(description=None), False),
    ("an unknown scope", changed(scope="system"), False),
    ("image_exists as a string", changed(image_exists="false"), False),
    ("a publisher that is no string", changed(publisher=0), False),
    ("a machine item without its file", changed(scope="machine", image="", image_exists=False,
                                                publisher="", description=""), True),
    ("enabled as a string", changed(enabled="true"), False),
    ("a name that is no string", changed(name=7), False),
    ("an object instead of an array", json.dumps(RIGHT), False),
]


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    with open(argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    bad = 0
    if argv[2] == "--self-test":
        for what, text, accepted in CASES:
            if validator.is_valid(json.loads(text)) != accepted:
                print(f"{what}: {'refused' if accepted else 'accepted'}: {text}")
                bad += 1
        print(f"{len(CASES) - bad} of {len(CASES)} cases as expected")
        return 1 if bad else 0
    count = 0
    for path in argv[2:]:
        with open(path, encoding="utf-8") as f:
            for number, line in enumerate(f, 1):
                line = line.rstrip("\r\n")
                if not line:
                    continue
                count += 1
                try:
                    errors = [e.message for e in validator.iter_errors(json.loads(line))]
                except ValueError as e:
                    errors = [f"not JSON: {e}"]
                if errors:
                    print(f"{path}:{number}: {errors[0]}\n  {line[:300]}")
                    bad += 1
    print(f"{count - bad} of {count} listings valid")
    return 1 if bad or count == 0 else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
