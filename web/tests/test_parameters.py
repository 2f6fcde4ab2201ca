"""What the page is offered for each kind of parameter object, and what a
chosen value turns into in the document sent to tarvo-cli."""
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parent.parent))
from parameters import BadValue, Model, describe_parameter  # noqa: E402


def param(value):
    return {"vid": "p", "type": "parameter", "value": {"value": value}}


@pytest.mark.parametrize("obj,control,offered", [
    (param(40), {"min": 10, "max": 90, "step": 5},
     {"kind": "number", "value": 40, "min": 10, "max": 90, "step": 5}),
    (param(2.5), {"min": "x"}, {"kind": "number", "value": 2.5}),
    (param("|10|*20|30"), None, {"kind": "choice", "value": "20", "choices": ["10", "20", "30"]}),
    (param("||*a||b|*c|a"), None, {"kind": "choice", "value": "a", "choices": ["a", "b", "c"]}),
    (param(8), {"choices": [6, 8, "M10"]}, {"kind": "choice", "value": 8, "choices": [6, 8, "M10"]}),
    (param(7), {"choices": [6, 8]}, {"kind": "number", "value": 7}),  # not among its choices
    (param(6), {"choices": [6, [8]]}, {"kind": "number", "value": 6}),
    (param(6), {"choices": [6, "6"]}, {"kind": "number", "value": 6}),  # one choice twice
    (param("|a*b|c"), None, {"kind": "text", "value": "|a*b|c"}),  # no entry is marked
    (param("oak"), [], {"kind": "text", "value": "oak"}),
    (param("={{w}}*2"), None, None),  # computed from other parameters
    (param(True), None, None),
    (param(None), None, None),
    ({"vid": "p", "type": "parameter", "value": 5}, None, None),
    ({"vid": "p", "type": "cube", "value": {"value": 5}}, None, None),
    ({"type": "parameter", "value": {"value": 5}}, None, None),
])
def test_parameter_objects_offer_controls_by_their_value(obj, control, offered):
    described = describe_parameter(obj, control)
    if offered is None:
        assert described is None
    else:
        assert described == dict(name="p", label="p", **offered)


def test_values_are_written_as_plain_values_and_other_objects_are_untouched():
    document = {"objects": [
        {"vid": "w", "type": "parameter", "value": {"value": 10}},
        {"vid": "n", "type": "parameter", "value": {"value": "|1|*2|3"}},
        {"vid": "m", "type": "parameter", "value": {"value": 8}},
        {"vid": "w", "type": "parameter", "value": {"value": 99}},
        {"vid": "c", "type": "cube", "size": {"x": "={{w}}"}},
    ]}
    controls = {"title": "Test", "parameters": {
        "w": {"label": "Width", "max": 50}, "m": {"choices": [6, 8, 10]}}}
    model = Model("m", document, controls)
    assert model.describe()["title"] == "Test"
    assert [p["name"] for p in model.describe()["parameters"]] == ["w", "n", "m"]
    assert model.describe()["parameters"][0]["label"] == "Width"
    written = model.document_with({"w": "12.5", "m": "10"})
    # The chosen entry replaces the dropdown text, which a placeholder could not read.
    assert [o["value"]["value"] for o in written["objects"][:4]] == [12.5, "2", 10, 99]
    assert written["objects"][4] == document["objects"][4]
    assert document["objects"][0]["value"]["value"] == 10  # the model itself is unchanged
    assert model.document_with({"n": 3})["objects"][1]["value"]["value"] == "3"
    for values in ({"w": 51}, {"w": float("nan")}, {"w": True}, {"n": "4"}, {"m": 7}, {"x": 1}):
        with pytest.raises(BadValue):
            model.document_with(values)


def test_bounds_and_labels_come_from_the_document_before_a_controls_file():
    document = {"title": "Tag", "objects": [
        {"vid": "hole", "type": "parameter", "value": {
            "value": 5, "min": 2, "max": 8, "step": 0.5, "unit": "mm", "label": "Eye",
            "description": "the eye for the key ring", "group": "Ring"}},
        {"vid": "n", "type": "parameter", "value": {"value": 4, "choices": [4, 6]}},
        {"vid": "free", "type": "parameter", "value": {"value": 1}},
    ]}
    # The document has bounds of its own, so the controls file is not read.
    model = Model("tag", document, {"title": "Old", "parameters": {"free": {"max": 0}}})
    described = model.describe()
    assert described["title"] == "Tag"
    assert described["parameters"] == [
        {"name": "hole", "label": "Eye", "kind": "number", "value": 5, "min": 2, "max": 8,
         "step": 0.5, "unit": "mm", "description": "the eye for the key ring", "group": "Ring"},
        {"name": "n", "label": "n", "kind": "choice", "value": 4, "choices": [4, 6]},
        {"name": "free", "label": "free", "kind": "number", "value": 1},
    ]
    for values, message in [({"hole": 9}, "hole must be at most 8 mm, not 9"),
                            ({"hole": 1}, "hole must be at least 2 mm, not 1"),
                            ({"hole": 2.2}, "hole must be 2 plus a whole number of steps of 0.5 mm, not 2.2"),
                            ({"n": 5}, "n must be one of 4, 6, not 5")]:
        with pytest.raises(BadValue) as refused:
            model.document_with(values)
        assert str(refused.value) == message
    assert model.document_with({"hole": 7.5, "free": 99})["objects"][0]["value"]["value"] == 7.5


@pytest.mark.parametrize("text, accepted", [
    ("12", True), ("12.5", True), ("-3", False), ("1e1", True), (" 20 ", True),
    ("٣", False), ("²", False), ("1_000", False), ("nan", False), ("inf", False), ("0x10", False),
])
def test_only_ascii_decimal_text_reads_as_a_number(text, accepted):
    document = {"objects": [{"vid": "w", "type": "parameter",
                             "value": {"value": 10, "min": 0, "max": 2000}}]}
    model = Model("m", document)
    if accepted:
        assert model.checked_value("w", text) == float(text)
    else:
        with pytest.raises(BadValue):
            model.checked_value("w", text)
