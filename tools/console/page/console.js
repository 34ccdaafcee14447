// The field console's page. Every text that comes from a camera (model
// names, info texts, file names) is put into the page as text (textContent
// or a text node), never as markup.
'use strict';

// ------------------------------------------------------------ the token

const token = (() => {
  const match = /(?:^#|&)token=([A-Za-z0-9._-]+)/.exec(location.hash);
  if (match) {
    sessionStorage.setItem('vkt-console-token', match[1]);
    // Out of the address bar (and so out of screenshots and shoulders); the
    // tab keeps it for reloads.
    history.replaceState(null, '', location.pathname);
    return match[1];
  }
  return sessionStorage.getItem('vkt-console-token') || '';
})();

// A URL of the console's interface for places that cannot send a header
// (images, downloads): the token goes in the query.
function withToken(path) {
  return path + (path.includes('?') ? '&' : '?') + 'token=' + encodeURIComponent(token);
}

class ApiError extends Error {
  constructor(status, body) {
    super(describeError(status, body));
    this.status = status;
    this.body = body;
  }
  get code() { return this.body && this.body.error && this.body.error.code; }
}

function describeError(status, body) {
  const error = body && body.error;
  if (error && error.code) {
    return error.code + ' (' + error.value + '): ' + error.text + (error.call ? ' [' + error.call + ']' : '');
  }
  if (error && error.message) return error.message;
  return 'the console answered ' + status;
}

async function api(method, path, body, raw) {
  const headers = { 'X-Console-Token': token };
  let payload;
  if (raw !== undefined) {
    headers['Content-Type'] = 'application/octet-stream';
    payload = raw;
  } else if (body !== undefined) {
    headers['Content-Type'] = 'application/json';
    payload = JSON.stringify(body);
  }
  let response;
  try {
    response = await fetch(path, { method, headers, body: payload, cache: 'no-store' });
  } catch (e) {
    throw new ApiError(0, { error: { message: 'the console cannot be reached' } });
  }
  let data = null;
  try { data = await response.json(); } catch (e) { data = null; }
  if (!response.ok) throw new ApiError(response.status, data);
  return data;
}

// ---------------------------------------------------------- DOM helpers

function $(id) { return document.getElementById(id); }

// el('td', {class: 'x'}, 'text', node): strings become text nodes.
function el(tag, props, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(props || {})) {
    if (value === undefined || value === null || value === false) continue;
    if (key === 'class') node.className = value;
    else if (key.startsWith('on')) node.addEventListener(key.slice(2), value);
    else node.setAttribute(key, value === true ? '' : String(value));
  }
  append(node, children);
  return node;
}

function append(node, children) {
  for (const child of children.flat()) {
    if (child === undefined || child === null || child === false) continue;
    node.append(child instanceof Node ? child : document.createTextNode(String(child)));
  }
}

function setText(id, text) { $(id).textContent = text; }

function status(id, text, kind) {
  const node = $(id);
  node.textContent = text || '';
  node.classList.toggle('error', kind === 'error');
  node.classList.toggle('ok', kind === 'ok');
}

function fill(node, children) {
  node.replaceChildren();
  append(node, children);
}

function fieldList(id, pairs) {
  const items = [];
  for (const [name, value, kind] of pairs) {
    items.push(el('dt', {}, name), el('dd', { class: kind }, value));
  }
  fill($(id), items);
}

// <dialog> confirmation; resolves true when confirmed.
function confirmAction(text, confirmLabel) {
  const dialog = $('confirm-dialog');
  setText('confirm-text', text);
  setText('confirm-ok', confirmLabel || 'Confirm');
  dialog.returnValue = '';
  dialog.showModal();
  return new Promise((resolve) => {
    dialog.addEventListener('close', () => resolve(dialog.returnValue === 'ok'), { once: true });
  });
}

// -------------------------------------------------------------- cameras

const state = {
  cameras: [],       // from /api/cameras
  selected: null,    // camera id (library handle) of the camera picker
  detail: null,      // camera id shown in the details panel
  tab: 'cameras',
};

function cameraLabel(camera) {
  return camera.record.ip + ' - ' + camera.record.model + (camera.record.infoText2 ? ' (' + camera.record.infoText2 + ')' : '');
}

function renderCameras() {
  const rows = state.cameras.map((camera) => {
    const r = camera.record;
    const library = camera.id === null
      ? el('td', { class: 'error' }, camera.addError.code)
      : el('td', {}, 'camera ' + camera.id + (camera.inLastSearch ? '' : ' (not in the last search)'));
    const actions = el('td', { class: 'actions' });
    if (camera.id !== null) {
      actions.append(el('button', { type: 'button', class: 'small', onclick: () => showDetail(camera.id) }, 'Details'));
    }
    actions.append(' ', el('button', { type: 'button', class: 'small', onclick: () => changeIp(camera) }, 'Change IP…'));
    return el('tr', { class: camera.id !== null && camera.id === state.detail ? 'selected' : null, 'data-mac': r.mac },
      el('td', { class: 'mono' }, r.ip), el('td', { class: 'mono' }, r.mac), el('td', {}, r.model),
      el('td', {}, r.infoText1), el('td', {}, r.infoText2), el('td', {}, r.commandPort),
      el('td', {}, r.interface === null ? '-' : r.interface), library, actions);
  });
  fill(document.querySelector('#camera-table tbody'), rows);

  const select = $('camera-select');
  const added = state.cameras.filter((c) => c.id !== null);
  if (state.selected === null || !added.some((c) => c.id === state.selected)) {
    state.selected = added.length ? added[0].id : null;
  }
  fill(select, added.length
    ? added.map((c) => el('option', { value: c.id, selected: c.id === state.selected }, cameraLabel(c)))
    : [el('option', { value: '' }, 'no camera')]);
}

function selectedCamera() {
  return state.cameras.find((c) => c.id === state.selected) || null;
}

// The first search, when the page opens, lasts what vkt-console was told
// (--search-timeout); later ones what the field says.
let searchedOnce = false;

async function search() {
  const timeout = Math.max(100, Math.min(10000, Number($('search-timeout').value) || 1000));
  status('search-status', searchedOnce ? 'searching for ' + timeout + ' ms…' : 'searching…');
  $('search-button').disabled = true;
  const started = performance.now();
  try {
    const data = await api('POST', '/api/search', searchedOnce ? { timeoutMs: timeout } : {});
    searchedOnce = true;
    $('search-timeout').value = data.timeoutMs;
    state.cameras = data.cameras;
    const found = data.cameras.filter((c) => c.inLastSearch).length;
    status('search-status', found + (found === 1 ? ' camera' : ' cameras') + ' answered in ' +
      ((performance.now() - started) / 1000).toFixed(1) + ' s', 'ok');
  } catch (e) {
    if (e.body && e.body.cameras) state.cameras = e.body.cameras;
    status('search-status', 'search failed: ' + e.message, 'error');
  } finally {
    $('search-button').disabled = false;
  }
  renderCameras();
  cameraChanged();
}

async function addCamera(event) {
  event.preventDefault();
  const ip = $('add-address').value.trim();
  status('search-status', 'adding ' + ip + '…');
  try {
    const data = await api('POST', '/api/cameras', { ip });
    const list = await api('GET', '/api/cameras');
    state.cameras = list.cameras;
    state.selected = data.camera.id;
    status('search-status', 'added ' + ip + ' as camera ' + data.camera.id, 'ok');
    renderCameras();
    cameraChanged();
  } catch (e) {
    status('search-status', 'adding ' + ip + ' failed: ' + e.message, 'error');
  }
}

function changeIp(camera) {
  const dialog = $('change-ip-dialog');
  setText('change-ip-mac', camera.record.mac);
  $('change-ip-address').value = camera.record.ip;
  $('change-ip-netmask').value = camera.record.addressWord1;
  $('change-ip-gateway').value = camera.record.addressWord2;
  dialog.returnValue = '';
  dialog.showModal();
  dialog.addEventListener('close', async () => {
    if (dialog.returnValue !== 'ok') return;
    const body = {
      mac: camera.record.mac,
      ip: $('change-ip-address').value.trim(),
      netmask: $('change-ip-netmask').value.trim(),
      gateway: $('change-ip-gateway').value.trim(),
    };
    const sure = await confirmAction('Give the camera with MAC ' + body.mac + ' (now at ' + camera.record.ip +
      ') the address ' + body.ip + ', netmask ' + body.netmask + ', gateway ' + body.gateway + '?', 'Change address');
    if (!sure) return;
    status('search-status', 'changing the address of ' + body.mac + '…');
    try {
      await api('POST', '/api/change-ip', body);
      status('search-status', body.mac + ' took ' + body.ip + '; searching again…', 'ok');
      await search();
    } catch (e) {
      status('search-status', 'the address change failed: ' + e.message, 'error');
    }
  }, { once: true });
}

// ------------------------------------------------- details, state, counters

const charts = {
  pictures: { canvas: 'chart-pictures', label: 'rate-pictures', key: 'pictures', color: '#1f6feb' },
  frames: { canvas: 'chart-frames', label: 'rate-frames', key: 'frames', color: '#18794e' },
  failures: { canvas: 'chart-failures', label: 'rate-failures', key: 'commandFailures', color: '#b42318' },
};
let counterHistory = { previous: null, samples: { pictures: [], frames: [], failures: [] } };

function showDetail(id) {
  state.detail = id;
  state.selected = id;
  counterHistory = { previous: null, samples: { pictures: [], frames: [], failures: [] } };
  const camera = state.cameras.find((c) => c.id === id);
  if (!camera) return;
  $('camera-detail').hidden = false;
  setText('detail-title', cameraLabel(camera));
  const r = camera.record;
  fieldList('detail-record', [
    ['ipAddress', r.ip], ['MAC', r.mac], ['model', r.model], ['command port', r.commandPort],
    ['addressWord1', r.addressWord1], ['addressWord2', r.addressWord2], ['infoText1', r.infoText1],
    ['infoText2', r.infoText2], ['infoWords', r.infoWords.join(' ')], ['tailWord1', r.tailWord1],
    ['tailWord2', r.tailWord2], ['interface', r.interface === null ? '-' : r.interface],
  ]);
  fill($('detail-state'), []);
  renderCameras();
  refreshState();
  refreshCounters();
}

function valueOrError(item) {
  if (!item) return ['-'];
  if (item.error) return [item.error.code, 'error'];
  return [String(item.value)];
}

async function refreshState() {
  const id = state.detail;
  if (id === null) return;
  try {
    const data = await api('GET', '/api/cameras/' + id + '/state');
    if (id !== state.detail) return;
    fieldList('detail-state', [
      ['answers', data.answers ? 'yes' : 'no'],
      ['temperature', ...valueOrError(data.temperature)],
      ['work mode', ...valueOrError(data.workMode)],
      ['camera mode', ...valueOrError(data.cameraMode)],
      ['flash lamp', ...valueOrError(data.flashLamp)],
      ['electricity', ...valueOrError(data.electricity)],
      ['configuration', ...valueOrError(data.paramState)],
    ]);
    setText('state-age', 'at ' + new Date().toLocaleTimeString());
    status('state-status', '');
  } catch (e) {
    if (id !== state.detail) return;
    fill($('detail-state'), []);
    status('state-status', e.message, 'error');
  }
}

function drawChart(chart, samples) {
  const canvas = $(chart.canvas);
  const context = canvas.getContext('2d');
  context.clearRect(0, 0, canvas.width, canvas.height);
  const top = Math.max(1, ...samples);
  context.strokeStyle = '#e3e8ef';
  context.beginPath();
  context.moveTo(0, canvas.height - 0.5);
  context.lineTo(canvas.width, canvas.height - 0.5);
  context.stroke();
  if (samples.length < 2) return;
  context.strokeStyle = chart.color;
  context.lineWidth = 1.5;
  context.beginPath();
  const step = canvas.width / 59;
  samples.forEach((value, i) => {
    const x = canvas.width - (samples.length - 1 - i) * step;
    const y = canvas.height - 3 - (value / top) * (canvas.height - 8);
    if (i === 0) context.moveTo(x, y); else context.lineTo(x, y);
  });
  context.stroke();
}

async function refreshCounters() {
  const id = state.detail;
  if (id === null) return;
  try {
    const data = await api('GET', '/api/cameras/' + id + '/stats');
    if (id !== state.detail) return;
    const now = performance.now();
    const previous = counterHistory.previous;
    if (previous) {
      const seconds = Math.max(0.001, (now - previous.at) / 1000);
      for (const [name, chart] of Object.entries(charts)) {
        const rate = Math.max(0, (data.totals[chart.key] - previous.totals[chart.key]) / seconds);
        const samples = counterHistory.samples[name];
        samples.push(rate);
        if (samples.length > 60) samples.shift();
        setText(chart.label, rate.toFixed(1));
        drawChart(chart, samples);
      }
    }
    counterHistory.previous = { at: now, totals: data.totals };
    // vktcli stats' own lines: one per group of counters.
    fill($('detail-counters'), data.text.split('\n').filter((line) => line.includes(': ')).map((line) => {
      const colon = line.indexOf(': ');
      return el('div', {}, el('b', {}, line.slice(0, colon)), ' ', line.slice(colon + 2));
    }));
    status('counters-status', '');
  } catch (e) {
    if (id !== state.detail) return;
    status('counters-status', e.message, 'error');
  }
}

// ------------------------------------------------------------ live view

let live = { id: null, statsTimer: null };

function startLive() {
  const camera = selectedCamera();
  if (!camera) return status('live-status', 'no camera to watch: search first', 'error');
  stopLive();
  live.id = camera.id;
  const image = $('live-image');
  image.onerror = async () => {
    if (live.id !== camera.id) return;
    // The image cannot say why; the statistics call can tell the camera's error.
    let why = 'the stream could not be shown';
    try {
      const r = await fetch(withToken('/api/cameras/' + camera.id + '/live.mjpeg'), { cache: 'no-store' });
      if (!r.ok) why = describeError(r.status, await r.json().catch(() => null));
      else r.body.cancel();
    } catch (e) { /* keep the plain message */ }
    status('live-status', why, 'error');
    stopLive(true);
  };
  image.onload = () => {
    setText('live-dimensions', image.naturalWidth + ' x ' + image.naturalHeight);
  };
  image.src = withToken('/api/cameras/' + camera.id + '/live.mjpeg');
  $('live-idle').hidden = true;
  $('live-start').disabled = true;
  $('live-stop').disabled = false;
  status('live-status', 'watching ' + cameraLabel(camera));
  live.statsTimer = setInterval(refreshLiveStats, 1000);
}

function stopLive(keepStatus) {
  const image = $('live-image');
  image.onerror = null;
  // Dropping the source closes the connection: the console stops the
  // camera's stream when no one else watches it.
  image.removeAttribute('src');
  clearInterval(live.statsTimer);
  live = { id: null, statsTimer: null };
  $('live-idle').hidden = false;
  $('live-start').disabled = false;
  $('live-stop').disabled = true;
  if (!keepStatus) status('live-status', '');
}

async function refreshLiveStats() {
  const id = live.id;
  if (id === null) return;
  try {
    const data = await api('GET', '/api/cameras/' + id + '/live');
    if (id !== live.id) return;
    setText('live-fps', data.framesPerSecond.toFixed(1) + ' /s');
    setText('live-frames', String(data.frames));
    setText('live-missed', String(data.missed));
    const drops = data.libraryDrops;
    setText('live-drops', drops ? 'gap ' + drops.gap + ', past last ' + drops.pastLast + ', oversize ' + drops.oversize : '-');
    setText('live-size', data.lastBytes + ' bytes (average ' + data.averageBytes + ')');
  } catch (e) {
    status('live-status', e.message, 'error');
  }
}

async function snapshot() {
  const camera = selectedCamera();
  if (!camera) return status('live-status', 'no camera: search first', 'error');
  status('live-status', 'asking ' + camera.record.ip + ' for a snapshot…');
  try {
    await api('POST', '/api/cameras/' + camera.id + '/snapshot', { value: 0 });
    status('live-status', 'snapshot requested; it appears on the wall below', 'ok');
    setTimeout(refreshWall, 300);
  } catch (e) {
    status('live-status', 'snapshot failed: ' + e.message, 'error');
  }
}

let wallLast = 0;
const wallLimit = 24;

function wallFigure(picture) {
  const info = picture.info;
  const words = ['recordWord8', 'recordWord24', 'recordWord28', 'recordWord32', 'recordWord36', 'recordWord40']
    .filter((key) => key in info)
    .map((key) => key.replace('recordWord', 'w') + '=' + (info[key] === null ? 'absent' : info[key]));
  return el('figure', { 'data-picture': picture.id },
    el('img', { src: withToken('/api/pictures/' + picture.id + '.jpg'), alt: 'picture ' + picture.id, loading: 'lazy' }),
    el('figcaption', {},
      el('div', {}, el('b', {}, picture.ip || 'camera ' + info.camera), ' · ', info.size + ' bytes'),
      el('div', { class: 'picture-time' }, 'camera time ', String(info.time)),
      el('div', { class: 'picture-value' }, 'value ', String(info.value)),
      el('div', { class: 'mono' }, words.join(' ')),
      el('div', {}, el('a', { href: withToken('/api/pictures/' + picture.id + '.jpg?download=1'), download: picture.file }, 'Download'))));
}

async function refreshWall() {
  try {
    const data = await api('GET', '/api/pictures?after=' + wallLast);
    const wall = $('picture-wall');
    for (const picture of data.pictures.slice().reverse()) {
      wall.prepend(wallFigure(picture));
      wallLast = Math.max(wallLast, picture.id);
    }
    while (wall.children.length > wallLimit) wall.lastChild.remove();
    status('wall-status', wall.children.length ? '' : 'no picture yet: press Snapshot, or wait for a trigger');
  } catch (e) {
    status('wall-status', e.message, 'error');
  }
}

// ------------------------------------------------------------- settings

let catalogue = null;

function hexToBytes(hex) {
  const bytes = [];
  for (let i = 0; i + 1 < hex.length; i += 2) bytes.push(parseInt(hex.slice(i, i + 2), 16));
  return bytes;
}

function printableRuns(hex) {
  const runs = [];
  let run = '';
  for (const byte of hexToBytes(hex)) {
    if (byte >= 0x20 && byte <= 0x7e) { run += String.fromCharCode(byte); continue; }
    if (run.trim().length >= 3) runs.push(run);
    run = '';
  }
  if (run.trim().length >= 3) runs.push(run);
  return runs.map((r) => JSON.stringify(r)).join(' ');
}

function fieldInput(setting, field, prefix) {
  const id = 'set-' + setting.name + '-' + prefix + field.name;
  if (field.type === 'bytes') {
    return el('label', {}, field.name + ' (' + field.size + (field.name === 'hex' ? ' bytes)' : ' bytes, hex)'),
      el('textarea', { id, rows: Math.min(6, Math.ceil(field.size / 40)), 'data-field': field.name, 'data-type': field.type, spellcheck: 'false', readonly: !setting.set }));
  }
  return el('label', {}, field.name,
    el('input', { id, class: field.type === 'ipv4' ? 'ipv4' : null, 'data-field': field.name, 'data-type': field.type, inputmode: field.type === 'ipv4' ? null : 'numeric', readonly: !setting.set }));
}

function settingBlock(setting) {
  const block = el('div', { class: 'setting', 'data-setting': setting.name });
  block.append(el('header', {}, el('code', {}, setting.name), el('span', { class: 'description' }, setting.description),
    el('span', { class: 'kind' }, setting.describe)));
  if (setting.kind === 'entries') {
    const head = el('tr', {}, el('th', {}, '#'), setting.fields.map((f) => el('th', {}, f.name)));
    const rows = [];
    for (let i = 0; i < setting.entryCount; i++) {
      rows.push(el('tr', { 'data-entry': i }, el('th', {}, String(i)),
        setting.fields.map((f) => el('td', {}, el('input', { 'data-field': f.name, 'data-type': f.type, 'aria-label': 'entry ' + i + ' ' + f.name })))));
    }
    block.append(el('div', { class: 'entries' }, el('table', {}, el('thead', {}, head), el('tbody', {}, rows))));
  } else {
    block.append(el('div', { class: 'fieldset' }, setting.fields.map((f) => fieldInput(setting, f, ''))));
    if (setting.fields.some((f) => f.type === 'bytes')) block.append(el('p', { class: 'printable' }));
  }
  const buttons = el('div', { class: 'buttons' });
  if (setting.get) buttons.append(el('button', { type: 'button', 'data-action': 'get', onclick: () => getSetting(setting, false) }, 'Get'));
  if (setting.default) buttons.append(el('button', { type: 'button', 'data-action': 'default', onclick: () => getSetting(setting, true) }, 'Get default'));
  if (setting.set) buttons.append(el('button', { type: 'button', 'data-action': 'set', onclick: () => setSetting(setting) }, 'Set'));
  buttons.append(el('span', { class: 'status' }));
  block.append(buttons);
  return block;
}

function settingStatus(setting, text, kind) {
  const node = document.querySelector('.setting[data-setting="' + setting.name + '"] .buttons .status');
  node.textContent = text;
  node.classList.toggle('error', kind === 'error');
  node.classList.toggle('ok', kind === 'ok');
}

function showSettingValue(setting, value) {
  const block = document.querySelector('.setting[data-setting="' + setting.name + '"]');
  const put = (scope, object) => {
    for (const input of scope.querySelectorAll('[data-field]')) {
      const v = object[input.dataset.field];
      input.value = v === undefined || v === null ? '' : String(v);
    }
  };
  if (setting.kind === 'entries') {
    (value.entries || []).forEach((entry, i) => {
      const row = block.querySelector('tr[data-entry="' + i + '"]');
      if (row) put(row, entry);
    });
  } else {
    put(block.querySelector('.fieldset'), value);
    const printable = block.querySelector('.printable');
    if (printable) {
      const hex = setting.fields.filter((f) => f.type === 'bytes').map((f) => value[f.name] || '').join('');
      const runs = printableRuns(hex);
      printable.textContent = runs ? 'text: ' + runs : '';
    }
  }
}

function readFields(scope, errors) {
  const object = {};
  for (const input of scope.querySelectorAll('[data-field]')) {
    const text = input.value.trim();
    const type = input.dataset.type;
    if (type === 'bytes' || type === 'ipv4') {
      object[input.dataset.field] = text;
    } else if (/^-?\d+$/.test(text)) {
      object[input.dataset.field] = Number(text);
    } else if (/^0x[0-9a-f]+$/i.test(text)) {
      object[input.dataset.field] = parseInt(text, 16);
    } else {
      errors.push(input.dataset.field + ' is not a number');
    }
  }
  return object;
}

async function getSetting(setting, factory) {
  const camera = selectedCamera();
  if (!camera) return settingStatus(setting, 'no camera', 'error');
  settingStatus(setting, factory ? 'reading the default…' : 'reading…');
  try {
    const data = await api('GET', '/api/cameras/' + camera.id + '/settings/' + setting.name + (factory ? '?default=1' : ''));
    showSettingValue(setting, data.value);
    settingStatus(setting, (factory ? 'default read' : 'read') + ' at ' + new Date().toLocaleTimeString(), 'ok');
  } catch (e) {
    settingStatus(setting, e.message, 'error');
  }
}

async function setSetting(setting) {
  const camera = selectedCamera();
  if (!camera) return settingStatus(setting, 'no camera', 'error');
  const block = document.querySelector('.setting[data-setting="' + setting.name + '"]');
  const errors = [];
  let body;
  if (setting.kind === 'entries') {
    body = { entries: [...block.querySelectorAll('tr[data-entry]')].map((row) => readFields(row, errors)) };
  } else {
    body = readFields(block.querySelector('.fieldset'), errors);
  }
  if (errors.length) return settingStatus(setting, errors.slice(0, 3).join('; '), 'error');
  settingStatus(setting, 'setting…');
  try {
    await api('PUT', '/api/cameras/' + camera.id + '/settings/' + setting.name, body);
    settingStatus(setting, 'set at ' + new Date().toLocaleTimeString() + ' (not saved until Save)', 'ok');
    refreshParamState();
  } catch (e) {
    settingStatus(setting, e.message, 'error');
  }
}

async function loadCatalogue() {
  catalogue = await api('GET', '/api/settings');
  const groups = catalogue.groups.map((group) =>
    el('section', { class: 'group' }, el('h2', {}, group.title), group.settings.map(settingBlock)));
  fill($('settings-groups'), groups);
}

async function getAllSettings() {
  if (!catalogue) return;
  for (const group of catalogue.groups) {
    for (const setting of group.settings) {
      if (setting.get) await getSetting(setting, false);
    }
  }
}

async function refreshParamState() {
  const camera = selectedCamera();
  if (!camera) return setText('param-state', '-');
  try {
    const data = await api('GET', '/api/cameras/' + camera.id + '/param-state');
    const node = $('param-state');
    node.textContent = data.ready ? 'ready (no save pending)' : data.error.code === 'VKT_ERR_SAVE_PENDING'
      ? 'save pending' : data.error.code;
    node.className = data.ready ? 'ok' : 'error';
  } catch (e) {
    setText('param-state', e.message);
  }
}

async function saveSettings() {
  const camera = selectedCamera();
  if (!camera) return;
  status('settings-status', 'saving…');
  try {
    await api('POST', '/api/cameras/' + camera.id + '/save');
    status('settings-status', 'saved', 'ok');
  } catch (e) {
    status('settings-status', 'save: ' + e.message, 'error');
  }
  refreshParamState();
}

async function resetCamera() {
  const camera = selectedCamera();
  if (!camera) return;
  if (!await confirmAction('Reset ' + cameraLabel(camera) + '? The camera restarts (mode 0).', 'Reset')) return;
  try {
    await api('POST', '/api/cameras/' + camera.id + '/reset', { mode: 0 });
    status('settings-status', 'the camera is restarting', 'ok');
  } catch (e) {
    status('settings-status', 'reset: ' + e.message, 'error');
  }
}

async function clock(action) {
  const camera = selectedCamera();
  if (!camera) return;
  try {
    if (action === 'host') {
      const data = await api('POST', '/api/cameras/' + camera.id + '/clock', { action: 'host' });
      status('clock-status', 'set to ' + data.set + ' (UTC)', 'ok');
    } else if (action === 'ntp') {
      status('clock-status', 'synchronising…');
      await api('POST', '/api/cameras/' + camera.id + '/clock', { action: 'ntp' });
      status('clock-status', 'synchronised', 'ok');
    }
    const data = await api('GET', '/api/cameras/' + camera.id + '/clock');
    setText('clock-text', data.text + ' (extra ' + data.clock.extra + ')');
    if (action === 'get') status('clock-status', '');
  } catch (e) {
    status('clock-status', e.message, 'error');
  }
}

async function importConfig(event) {
  event.preventDefault();
  const camera = selectedCamera();
  const file = $('config-file').files[0];
  if (!camera || !file) return status('config-status', 'choose a file first', 'error');
  if (!await confirmAction('Write the settings of ' + file.name + ' to ' + cameraLabel(camera) + '?', 'Import')) return;
  try {
    await api('PUT', '/api/cameras/' + camera.id + '/config', undefined, await file.arrayBuffer());
    status('config-status', 'imported (not saved until Save)', 'ok');
    refreshParamState();
  } catch (e) {
    status('config-status', 'import: ' + e.message, 'error');
  }
}

// -------------------------------------------------------------- SD card

let sdPath = '/';

function joinPath(directory, name) { return (directory === '/' ? '' : directory) + '/' + name; }

async function refreshCardState() {
  const camera = selectedCamera();
  if (!camera) return;
  try {
    const data = await api('GET', '/api/cameras/' + camera.id + '/sd');
    fieldList('sd-state', Object.entries(data.state).map(([k, v]) => [k, String(v)]));
    status('sd-state-status', '');
  } catch (e) {
    fill($('sd-state'), []);
    status('sd-state-status', e.message, 'error');
  }
}

function renderPath() {
  const parts = sdPath.split('/').filter(Boolean);
  const nodes = [el('button', { type: 'button', onclick: () => browse('/') }, '/')];
  parts.forEach((part, i) => {
    const target = '/' + parts.slice(0, i + 1).join('/');
    nodes.push(el('button', { type: 'button', onclick: () => browse(target) }, part), i < parts.length - 1 ? '/' : '');
  });
  fill($('sd-path'), nodes);
}

async function browse(path) {
  const camera = selectedCamera();
  if (!camera) return status('sd-status', 'no camera: search first', 'error');
  sdPath = path;
  renderPath();
  $('sd-archive').href = withToken('/api/cameras/' + camera.id + '/sd/archive?path=' + encodeURIComponent(path));
  status('sd-status', 'listing ' + path + '…');
  try {
    const data = await api('GET', '/api/cameras/' + camera.id + '/sd/list?path=' + encodeURIComponent(path));
    const rows = data.entries.map((entry) => sdRow(camera, entry));
    fill(document.querySelector('#sd-table tbody'), rows);
    status('sd-status', data.entries.length + (data.entries.length === 1 ? ' entry' : ' entries') + ' in ' + path);
  } catch (e) {
    fill(document.querySelector('#sd-table tbody'), []);
    status('sd-status', e.message, 'error');
  }
}

function sdRow(camera, entry) {
  const full = joinPath(sdPath, entry.name);
  const directory = entry.value === -1;
  const row = el('tr', { 'data-name': entry.name });
  if (!entry.plain || (!directory && entry.value < 0)) {
    // Shown, never fetched: the console does not send a name such as "..".
    row.append(el('td'), el('td', { class: 'name' }, entry.name), el('td', {}, directory ? 'directory' : entry.value < 0 ? 'value ' + entry.value : entry.value + ' bytes'),
      el('td', { class: 'actions' }, entry.plain ? '' : el('span', { class: 'error' }, 'not a plain name')));
    return row;
  }
  if (directory) {
    row.append(el('td'), el('td', { class: 'name' }, el('button', { type: 'button', onclick: () => browse(full) }, entry.name + '/')),
      el('td', {}, 'directory'), el('td'));
    return row;
  }
  const picture = '/api/cameras/' + camera.id + '/sd/picture?path=' + encodeURIComponent(full);
  row.append(
    el('td', {}, el('img', { src: withToken(picture), alt: '', loading: 'lazy' })),
    el('td', { class: 'name' }, entry.name),
    el('td', {}, entry.value + ' bytes'),
    el('td', { class: 'actions' },
      el('a', { class: 'button small', href: withToken(picture + '&download=1'), download: entry.name, 'data-action': 'download' }, 'Download'), ' ',
      el('button', { type: 'button', class: 'small danger', 'data-action': 'delete', onclick: () => deletePicture(camera, full) }, 'Delete…')));
  return row;
}

async function deletePicture(camera, path) {
  if (!await confirmAction('Delete ' + path + ' from the card of ' + cameraLabel(camera) + '? This cannot be undone.', 'Delete')) return;
  try {
    await api('DELETE', '/api/cameras/' + camera.id + '/sd/picture?path=' + encodeURIComponent(path));
    status('sd-status', 'deleted ' + path, 'ok');
    await browse(sdPath);
  } catch (e) {
    status('sd-status', 'delete: ' + e.message, 'error');
  }
}

async function formatCard() {
  const camera = selectedCamera();
  if (!camera) return;
  if (!await confirmAction('Format the SD card of ' + cameraLabel(camera) + '? Every stored picture is lost.', 'Format')) return;
  const bar = $('sd-format-progress');
  try {
    await api('POST', '/api/cameras/' + camera.id + '/sd/format');
  } catch (e) {
    return status('sd-format-status', 'format: ' + e.message, 'error');
  }
  bar.hidden = false;
  bar.value = 0;
  status('sd-format-status', 'formatting…');
  $('sd-format').disabled = true;
  const done = (text, kind) => {
    $('sd-format').disabled = false;
    status('sd-format-status', text, kind);
  };
  const deadline = performance.now() + 120000;
  const poll = async () => {
    try {
      const data = await api('GET', '/api/cameras/' + camera.id + '/sd/progress');
      const progress = Math.max(0, Math.min(100, data.progress));
      bar.value = progress;
      setText('sd-format-text', progress + ' %');
      if (progress >= 100) {
        done('formatted', 'ok');
        refreshCardState();
        browse('/');
        return;
      }
    } catch (e) {
      return done('progress: ' + e.message, 'error');
    }
    if (performance.now() > deadline) return done('no end of the format in 2 minutes', 'error');
    setTimeout(poll, 250);
  };
  poll();
}

// ---------------------------------------------------------- tabs, timers

function showTab(name) {
  state.tab = name;
  for (const button of document.querySelectorAll('#tabs button')) button.classList.toggle('active', button.dataset.tab === name);
  for (const section of document.querySelectorAll('main > .tab')) section.hidden = section.id !== 'tab-' + name;
  if (name !== 'live' && live.id !== null) stopLive();
  cameraChanged();
}

// What a tab shows follows the camera picker.
function cameraChanged() {
  const camera = selectedCamera();
  if (state.tab === 'settings' && camera) {
    $('config-export').href = withToken('/api/cameras/' + camera.id + '/config');
    refreshParamState();
    clock('get');
  }
  if (state.tab === 'sd' && camera) {
    refreshCardState();
    browse('/');
  }
}

function start() {
  if (!token) $('token-warning').hidden = false;
  for (const button of document.querySelectorAll('#tabs button')) button.addEventListener('click', () => showTab(button.dataset.tab));
  $('camera-select').addEventListener('change', (event) => {
    state.selected = Number(event.target.value);
    if (live.id !== null) stopLive();
    cameraChanged();
  });
  $('search-button').addEventListener('click', search);
  $('add-form').addEventListener('submit', addCamera);
  $('live-start').addEventListener('click', startLive);
  $('live-stop').addEventListener('click', () => stopLive());
  $('snapshot-button').addEventListener('click', snapshot);
  $('settings-get-all').addEventListener('click', getAllSettings);
  $('settings-save').addEventListener('click', saveSettings);
  $('settings-reset').addEventListener('click', resetCamera);
  $('clock-get').addEventListener('click', () => clock('get'));
  $('clock-host').addEventListener('click', () => clock('host'));
  $('clock-ntp').addEventListener('click', () => clock('ntp'));
  $('config-import').addEventListener('submit', importConfig);
  $('sd-state-refresh').addEventListener('click', refreshCardState);
  $('sd-refresh').addEventListener('click', () => browse(sdPath));
  $('sd-up').addEventListener('click', () => browse(sdPath.replace(/\/[^/]*$/, '') || '/'));
  $('sd-format').addEventListener('click', formatCard);

  setInterval(() => { if (state.tab === 'cameras') refreshState(); }, 3000);
  setInterval(() => { if (state.tab === 'cameras') refreshCounters(); }, 1000);
  setInterval(() => { if (state.tab === 'settings') refreshParamState(); }, 5000);
  setInterval(refreshWall, 2000);

  loadCatalogue().catch((e) => status('settings-status', 'the settings list: ' + e.message, 'error'));
  refreshWall();
  search();
}

document.addEventListener('DOMContentLoaded', start);
