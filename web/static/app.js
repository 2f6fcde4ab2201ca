// The configurator page: model list, controls made from the model's
// parameters, builds on change, the part in the viewer, downloads.
import { GeometryFromAnswer } from './mesh.js';
import { Viewer } from './viewer.js';

const DEBOUNCE_MS = 180;
const BUSY_RETRY_MS = 1000;

const modelSelect = document.getElementById('model');
const form = document.getElementById('controls');
const segmentsSelect = document.getElementById('segments');
const statusLine = document.getElementById('status');
const viewer = new Viewer(document.getElementById('view'));
document.getElementById('fit').addEventListener('click', () => viewer.fit());

let models = [];
let model = null;         // the chosen model's description
let values = {};          // parameter name -> value sent with the next build
let fields = {};          // parameter name -> {element, error}
let lastChanged = null;   // the parameter a failed build is reported next to
let timer = null;
let inFlight = false;
let pending = false;
let builds = 0;

function SetStatus(text, failed = false) {
  statusLine.textContent = text;
  statusLine.classList.toggle('failed', failed);
}

function ShowError(name, message) {
  for (const [fieldName, field] of Object.entries(fields)) {
    const text = fieldName === name ? message : '';
    field.error.textContent = text;
    field.element.classList.toggle('invalid', Boolean(text));
  }
}

function NumberField(parameter) {
  const wrapper = document.createElement('div');
  wrapper.className = 'number';
  const slider = document.createElement('input');
  slider.type = 'range';
  const box = document.createElement('input');
  box.type = 'number';
  box.name = parameter.name;
  for (const input of [slider, box]) {
    if (parameter.min !== undefined) input.min = parameter.min;
    if (parameter.max !== undefined) input.max = parameter.max;
    input.step = parameter.step ?? 'any';
    input.value = parameter.value;
  }
  const update = (source, other, debounce) => {
    other.value = source.value;
    const value = Number(source.value);
    if (source.value === '' || !Number.isFinite(value)) {
      ShowError(parameter.name, 'must be a number');
      return;
    }
    if (parameter.min !== undefined && value < parameter.min) {
      ShowError(parameter.name, `must be at least ${parameter.min}`);
      return;
    }
    if (parameter.max !== undefined && value > parameter.max) {
      ShowError(parameter.name, `must be at most ${parameter.max}`);
      return;
    }
    Change(parameter.name, value, debounce);
  };
  // A moving slider rebuilds once it rests; typed numbers rebuild at once.
  slider.addEventListener('input', () => update(slider, box, true));
  box.addEventListener('change', () => update(box, slider, false));
  wrapper.append(slider, box);
  return wrapper;
}

function ChoiceField(parameter) {
  const select = document.createElement('select');
  select.name = parameter.name;
  for (const choice of parameter.choices) {
    const option = document.createElement('option');
    option.value = option.textContent = String(choice);
    option.selected = String(choice) === String(parameter.value);
    select.append(option);
  }
  select.addEventListener('change', () => Change(parameter.name, select.value, false));
  return select;
}

function TextField(parameter) {
  const input = document.createElement('input');
  input.type = 'text';
  input.name = parameter.name;
  input.value = parameter.value;
  input.addEventListener('change', () => Change(parameter.name, input.value, false));
  return input;
}

function ShowControls() {
  form.replaceChildren();
  fields = {};
  for (const parameter of model.parameters) {
    const label = document.createElement('label');
    label.className = 'field';
    label.dataset.parameter = parameter.name;
    const title = document.createElement('span');
    title.textContent = parameter.unit ? `${parameter.label} (${parameter.unit})` : parameter.label;
    if (parameter.description) label.title = parameter.description;
    const make = { number: NumberField, choice: ChoiceField, text: TextField }[parameter.kind];
    const error = document.createElement('div');
    error.className = 'error';
    label.append(title, make(parameter), error);
    form.append(label);
    fields[parameter.name] = { element: label, error };
  }
}

function Change(name, value, debounce) {
  values[name] = value;
  lastChanged = name;
  ShowError(null, '');
  UpdateDownloads();
  clearTimeout(timer);
  timer = setTimeout(RequestBuild, debounce ? DEBOUNCE_MS : 0);
}

function Query(format, parts = false) {
  const query = new URLSearchParams({
    model: model.name, format, segments: segmentsSelect.value, values: JSON.stringify(values),
  });
  if (parts) query.set('parts', '1');
  return `/api/export?${query}`;
}

// A model of several visible objects (a box and its lid) is also offered as
// a 3MF file with one object each, which a slicer places apart.
function PartsLink() {
  let link = document.getElementById('download-parts');
  if (!link) {
    link = document.createElement('a');
    link.id = 'download-parts';
    link.className = 'button';
    link.textContent = '3MF (parts)';
    document.getElementById('download-3mf').after(link);
  }
  return link;
}

function UpdateDownloads() {
  for (const format of ['3mf', 'stl', 'glb']) {
    const link = document.getElementById(`download-${format}`);
    link.href = Query(format);
    link.download = `${model.name}.${format}`;
  }
  const parts = PartsLink();
  parts.hidden = !(model.parts && model.parts.length > 1);
  parts.title = (model.parts || []).join(', ');
  parts.href = Query('3mf', true);
  parts.download = `${model.name}-parts.3mf`;
}

// One build at a time: a change made while a build runs is sent when it ends,
// with the values of that moment, and the part on screen stays until then.
function RequestBuild() {
  if (inFlight) {
    pending = true;
    return;
  }
  inFlight = true;
  pending = false;
  const requested = model.name;
  SetStatus(statusLine.dataset.triangles ? `${statusLine.textContent} · building…` : 'building…');
  Build(requested).finally(() => {
    inFlight = false;
    if (pending) RequestBuild();
  });
}

async function Build(requested) {
  const body = { model: requested, values, segments: Number(segmentsSelect.value) };
  let response, answer;
  try {
    response = await fetch('/api/build', {
      method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body),
    });
    answer = await response.json();
  } catch (error) {
    SetStatus(`the server did not answer: ${error.message}`, true);
    return;
  }
  if (requested !== model.name) return;  // the user moved on to another model
  if (response.status === 503) {
    // Every worker is taken: the same values are asked for again shortly.
    SetStatus('the server is busy; trying again…');
    setTimeout(RequestBuild, BUSY_RETRY_MS);
    return;
  }
  if (!response.ok) {
    const message = answer.error || `the server answered ${response.status}`;
    const target = answer.parameter || lastChanged;
    if (target && fields[target]) {
      ShowError(target, message);
      SetStatus('the last change could not be built', true);
    } else {
      SetStatus(message, true);
    }
    return;
  }
  viewer.show(GeometryFromAnswer(answer), requested);
  builds += 1;
  const triangles = answer.empty ? 0 : answer.numTri;
  statusLine.dataset.triangles = triangles;
  statusLine.dataset.builds = builds;
  SetStatus(`${triangles.toLocaleString('en')} triangles · built in ${answer.ms} ms`);
}

function ChooseModel(name) {
  model = models.find((m) => m.name === name);
  values = {};
  lastChanged = null;
  delete statusLine.dataset.triangles;
  ShowControls();
  UpdateDownloads();
  RequestBuild();
}

async function Start() {
  try {
    const response = await fetch('/api/models');
    models = (await response.json()).models;
  } catch (error) {
    SetStatus(`the model list could not be loaded: ${error.message}`, true);
    return;
  }
  for (const m of models) {
    const option = document.createElement('option');
    option.value = m.name;
    option.textContent = m.title;
    modelSelect.append(option);
  }
  modelSelect.addEventListener('change', () => ChooseModel(modelSelect.value));
  segmentsSelect.addEventListener('change', () => {
    UpdateDownloads();
    RequestBuild();
  });
  if (models.length) ChooseModel(models[0].name);
  else SetStatus('no models to show');
}

Start();
