"""Model parameters as a configurator shows them, and values written back.

A parameter is an object of type "parameter" in a model document; its name is
its "vid" and its current value the member "value" of its "value" object. How
the page shows it comes from the same "value" object:

    {"vid": "width", "type": "parameter", "value": {"value": 80, "min": 30,
     "max": 200, "step": 1, "unit": "mm", "label": "Width"}}

and the page's title from the document's "title". A model whose parameters
carry none of these may still have a controls file beside it
(NAME.controls.json) with the same members per parameter:

    {"title": "Box", "parameters": {"width": {"label": "Width (mm)",
     "min": 30, "max": 200, "step": 1}, "parts": {"choices": [1, 2, 3]}}}

A parameter with "choices" is a dropdown. A value written as a dropdown text
("|6|*8|10") is offered as a choice too.
"""

import json
import math
import re
from pathlib import Path

_DECIMAL = re.compile(r"[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?", re.ASCII)

MAX_TEXT_LENGTH = 200
# Members of a parameter's "value" object that say how it is shown and bounded.
GUARDS = ("min", "max", "step", "choices", "unit", "label", "description", "group")
# Model names travel in URLs and file names: letters, digits, "-" and "_".
MODEL_NAME = re.compile(r"[A-Za-z0-9_-]+")


class BadValue(Exception):
    """A value the caller sent that the model cannot take (answered 400);
    `parameter` names the parameter it was meant for, when there is one."""

    def __init__(self, message, parameter=None):
        super().__init__(message)
        self.parameter = parameter


def dropdown_entries(text):
    """Returns (choices, chosen) of a dropdown text such as "|10|*20|30", or None.

    Entries are separated by "|", the chosen one starts with "*"; empty entries
    offer nothing. A text without a marked entry is not a dropdown.
    """
    if not isinstance(text, str) or not text.startswith("|") or "*" not in text:
        return None
    choices, chosen = [], None
    for entry in text.split("|")[1:]:
        if entry.startswith("*"):
            entry = entry[1:]
            if chosen is None:
                chosen = entry
        if entry and entry not in choices:
            choices.append(entry)
    if chosen is None:
        return None
    return choices, chosen


def _is_number(value):
    return isinstance(value, (int, float)) and not isinstance(value, bool) and math.isfinite(value)


def _choice_text(value):
    # Choices are compared as text, so that 8 and "8" from a page's select match.
    if isinstance(value, str):
        return value
    return json.dumps(value) if _is_number(value) else None


def _listed_choices(value, control):
    """Returns the control's "choices" when they are numbers and texts, all
    different, among them the current value; else None."""
    choices = control.get("choices")
    if not isinstance(choices, list) or not choices:
        return None
    texts = [_choice_text(c) for c in choices]
    if None in texts or len(set(texts)) != len(texts) or _choice_text(value) not in texts:
        return None
    return choices


def describe_parameter(obj, control=None):
    """Returns what a page needs to show one parameter object, given its entry
    of the controls file, or None for one that takes no input (computed from
    others, or of a kind we do not offer)."""
    if not isinstance(obj, dict) or obj.get("type") != "parameter":
        return None
    name, holder = obj.get("vid"), obj.get("value")
    if not isinstance(name, str) or not name or not isinstance(holder, dict):
        return None
    control = dict(control) if isinstance(control, dict) else {}
    # The document's own bounds and labels come before a controls file's.
    control.update({key: holder[key] for key in GUARDS if key in holder})
    value = holder.get("value")
    label = control.get("label")
    described = {"name": name, "label": label if isinstance(label, str) and label else name}
    for key in ("unit", "description", "group"):
        if isinstance(control.get(key), str) and control[key]:
            described[key] = control[key]
    dropdown = dropdown_entries(value)
    listed = _listed_choices(value, control)
    if dropdown is not None:
        described.update(kind="choice", choices=dropdown[0], value=dropdown[1])
    elif listed is not None:
        described.update(kind="choice", choices=listed, value=value)
    elif _is_number(value):
        described.update(kind="number", value=value)
        for key in ("min", "max", "step"):
            if _is_number(control.get(key)):
                described[key] = control[key]
    elif isinstance(value, str) and not value.startswith("="):
        described.update(kind="text", value=value)
    else:
        return None
    return described


def has_guards(document):
    """True when any parameter of the document carries its own bounds or labels."""
    return any(isinstance(obj, dict) and obj.get("type") == "parameter"
               and isinstance(obj.get("value"), dict)
               and any(key in obj["value"] for key in GUARDS)
               for obj in document.get("objects", []))


class Model:
    """One model document from the models folder and the parameters it offers."""

    def __init__(self, name, document, controls=None):
        self.name = name
        self.document = document
        self.controls = controls if isinstance(controls, dict) else {}
        per_parameter = self.controls.get("parameters")
        per_parameter = per_parameter if isinstance(per_parameter, dict) else {}
        if has_guards(document):
            per_parameter = {}  # a controls file is read only for models without their own
        self.parameters = []
        seen = set()
        for obj in document.get("objects", []):
            described = describe_parameter(obj, per_parameter.get(
                obj.get("vid") if isinstance(obj, dict) else None))
            # Templates read the first parameter of a name; later ones are shadowed.
            if described and described["name"] not in seen:
                seen.add(described["name"])
                self.parameters.append(described)
        self.by_name = {p["name"]: p for p in self.parameters}
        # The visible objects, which a 3MF file can hold as separate objects.
        self.parts = [obj.get("name", obj["vid"]) for obj in document.get("objects", [])
                      if isinstance(obj, dict) and isinstance(obj.get("vid"), str)
                      and obj.get("type") != "parameter" and obj.get("visible", True) is not False]

    def describe(self):
        """Returns the model's name, title and parameters for the page."""
        title = self.document.get("title", self.controls.get("title"))
        return {
            "name": self.name,
            "title": title if isinstance(title, str) else self.name,
            "parameters": self.parameters,
            "parts": self.parts,
        }

    def checked_value(self, name, value):
        """Returns the value to write for one parameter, or raises BadValue."""
        parameter = self.by_name.get(name)
        if parameter is None:
            raise BadValue(
                f'unknown parameter "{name}"; this model has: '
                + ", ".join(p["name"] for p in self.parameters), name)
        kind = parameter["kind"]
        if kind == "number":
            # Only a plain ASCII decimal text reads as a number: float() would
            # also take other scripts' digits ("٣"), underscores and "nan".
            if isinstance(value, str) and _DECIMAL.fullmatch(value.strip()):
                value = float(value)
            if not _is_number(value):
                raise BadValue(f"{name}: expected a number, got {json.dumps(value)}", name)
            unit = f" {parameter['unit']}" if "unit" in parameter else ""
            # Worded as tarvo-cli words them, which refuses the same values.
            if "min" in parameter and value < parameter["min"]:
                raise BadValue(f"{name} must be at least {parameter['min']:g}{unit}, "
                               f"not {value:g}", name)
            if "max" in parameter and value > parameter["max"]:
                raise BadValue(f"{name} must be at most {parameter['max']:g}{unit}, "
                               f"not {value:g}", name)
            step = parameter.get("step")
            if _is_number(step) and step > 0:
                base = parameter.get("min", 0)
                steps = (value - base) / step
                if abs(steps - round(steps)) > 1e-6:
                    raise BadValue(f"{name} must be {base:g} plus a whole number of steps of "
                                   f"{step:g}{unit}, not {value:g}", name)
            return int(value) if float(value).is_integer() else value
        if kind == "choice":
            text = _choice_text(value)
            for choice in parameter["choices"]:
                if _choice_text(choice) == text:
                    return choice
            raise BadValue(f"{name} must be one of "
                           + ", ".join(map(_choice_text, parameter["choices"]))
                           + f", not {json.dumps(value)}", name)
        if not isinstance(value, str):
            raise BadValue(f"{name}: expected text, got {json.dumps(value)}", name)
        if len(value) > MAX_TEXT_LENGTH:
            raise BadValue(f"{name}: text longer than {MAX_TEXT_LENGTH} characters", name)
        return value

    def document_with(self, values):
        """Returns a copy of the document with every offered parameter set to
        its plain value: the given one, else its current one.

        A dropdown parameter is written as its chosen entry because templates
        are solved before dropdowns, so a placeholder naming a parameter that
        still holds the dropdown text would never be replaced."""
        if not isinstance(values, dict):
            raise BadValue('"values" must be an object of parameter names to values')
        plain = {p["name"]: p["value"] for p in self.parameters}
        for name, value in values.items():
            plain[name] = self.checked_value(name, value)
        document = json.loads(json.dumps(self.document))
        for obj in document["objects"]:
            if isinstance(obj, dict) and obj.get("type") == "parameter" and obj.get("vid") in plain:
                holder = obj.get("value")
                if isinstance(holder, dict):
                    holder["value"] = plain.pop(obj["vid"])
        return document


CONTROLS_SUFFIX = ".controls.json"


def load_models(folder):
    """Returns {name: Model} for every readable model document NAME.json in the
    folder, with its NAME.controls.json when there is one; other files are
    reported and skipped."""
    models = {}
    for path in sorted(Path(folder).glob("*.json")):
        if path.name.endswith(CONTROLS_SUFFIX):
            continue
        if not MODEL_NAME.fullmatch(path.stem):
            print(f"tarvo-serve: skipping {path}: a model name is letters, digits, - and _",
                  flush=True)
            continue
        try:
            document = json.loads(path.read_text(encoding="utf-8"))
            if not isinstance(document, dict) or not isinstance(document.get("objects"), list):
                raise ValueError('no "objects" array')
            controls_path = path.with_name(path.stem + CONTROLS_SUFFIX)
            controls = (json.loads(controls_path.read_text(encoding="utf-8"))
                        if controls_path.exists() else {})
        except (OSError, ValueError) as error:
            print(f"tarvo-serve: skipping {path}: {error}", flush=True)
            continue
        models[path.stem] = Model(path.stem, document, controls)
    return models
