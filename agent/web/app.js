// SPDX-License-Identifier: GPL-3.0-or-later
// The agent's dashboard: the list of units, one unit's status panel, sky view and signal
// history, and the commands the window's buttons send. Everything comes from the agent's
// HTTP API; the live stream (Server-Sent Events) keeps it current, and a lost stream is
// shown and opened again, after which the page fetches what it missed.
"use strict";

const TokenKey = "kelvandor.token";
const NightKey = "kelvandor.night";
const RetryMinMs = 1000;
const RetryMaxMs = 10000;
const SkyRefreshMs = 2000;
const AgeTickMs = 1000;
const HistoryPoints = 800;  // at most this many samples in a fetched history

// The window's state LEDs and the antenna states that light each.
const StateLeds = [
    ["search", "Search", [1]],
    ["tracking", "Tracking", [2]],
    ["initialize", "Initialize", [4, 6]],
    ["unwrap", "Unwrap", [3]],
    ["setup", "Setup", [0]],
    ["sleep", "SleepMode", [7]],
];
// The words the window's accessible descriptions use for an LED's colour.
const LedWords = { off: "off", blue: "on, blue", green: "on, green" };
// The state in words as the window's signal description says it.
const StateWords = {
    0: "set-up", 1: "searching", 2: "tracking", 3: "unwrapping",
    4: "initialising", 6: "initialising", 7: "sleeping",
};
const Confirmations = {
    "restart": "Restart the antenna? It initialises and searches for the satellite again.",
    "setup": "Put the antenna into set-up? It stops tracking.",
    "select-satellite": "Turn the antenna to satellite %s?",
};

const page = {
    units: new Map(),       // name -> the unit's state as the agent sends it
    open: null,             // the name of the unit shown
    samples: [],            // the open unit's history, oldest first
    peak: null,             // the highest level seen of the open unit
    minutes: 5,
    sky: null,
    skyFetched: 0,
    skyTimer: null,
    events: null,
    retryMs: RetryMinMs,
    retryTimer: null,
    everLive: false,
    readsNeedToken: false,
    drawPending: false,
    skyDrawnWidth: 0,
};

const $ = (id) => document.getElementById(id);

// ---------------------------------------------------------------- the agent's API

function token() {
    return localStorage.getItem(TokenKey) || "";
}

function authHeaders(extra) {
    const headers = Object.assign({}, extra);
    if (token()) {
        headers.Authorization = "Bearer " + token();
    }
    return headers;
}

async function getJson(path) {
    const response = await fetch(path, { headers: authHeaders({ Accept: "application/json" }) });
    if (!response.ok) {
        const error = new Error(path + ": " + response.status);
        error.status = response.status;
        throw error;
    }
    return response.json();
}

function unitPath(name) {
    return "/api/v1/units/" + encodeURIComponent(name);
}

// ---------------------------------------------------------------- formatting

// Numbers with a decimal point whatever the browser's language.
function fixed(value, digits) {
    return typeof value === "number" && isFinite(value) ? value.toFixed(digits) : "–";
}

function text(value) {
    return value === null || value === undefined || value === "" ? "–" : String(value);
}

function stateName(unit) {
    if (!unit) {
        return null;
    }
    if (unit.state && typeof unit.state === "object") {
        return unit.state.name;
    }
    return unit.stateName || (typeof unit.state === "string" ? unit.state : null);
}

function ageText(lastReport) {
    if (!lastReport) {
        return "no report yet";
    }
    const seconds = Math.max(0, Math.round((Date.now() - Date.parse(lastReport)) / 1000));
    if (seconds < 120) {
        return "last report " + seconds + " s ago";
    }
    if (seconds < 7200) {
        return "last report " + Math.round(seconds / 60) + " min ago";
    }
    return "last report " + Math.round(seconds / 3600) + " h ago";
}

// "53.33 N" (degrees and minutes, DDD.MM, as the unit reports them) as "53° 33′ N", the
// way the window's GPS page and sky view show a position.
function degreesMinutes(position) {
    const match = /^(\d+)\.(\d\d) ([NSEW])$/.exec(String(position));
    return match ? match[1] + "° " + match[2] + "′ " + match[3] : text(position);
}

function setText(id, value) {
    const element = $(id);
    if (element.textContent !== value) {
        element.textContent = value;
    }
}

function setLed(element, label, colour) {
    const description = label + ": " + LedWords[colour];
    if (element.dataset.colour !== colour) {
        element.dataset.colour = colour;
    }
    if (element.getAttribute("aria-label") !== description) {
        element.setAttribute("aria-label", description);
        element.title = description;
    }
}

// ---------------------------------------------------------------- the unit list

function renderList() {
    const list = $("unit-list");
    $("no-units").hidden = page.units.size > 0;
    const names = [...page.units.keys()].sort();
    while (list.children.length > names.length) {
        list.lastChild.remove();
    }
    names.forEach((name, k) => {
        let item = list.children[k];
        if (!item) {
            item = document.createElement("li");
            item.innerHTML = '<a><span class="name"></span><span class="summary"></span></a>';
            list.append(item);
        }
        const unit = page.units.get(name);
        const link = item.firstChild;
        link.href = "#unit=" + encodeURIComponent(name);
        link.setAttribute("aria-current", name === page.open ? "true" : "false");
        link.children[0].textContent = name;
        const parts = [];
        parts.push(unit.connected ? "connected" : "not connected");
        const state = stateName(unit);
        if (state) {
            parts.push(state);
        }
        if (unit.signal) {
            parts.push("level " + unit.signal.level + (unit.signal.locked ? ", locked" : ", not locked"));
        }
        parts.push(ageText(unit.lastReport));
        const summary = link.children[1];
        summary.textContent = parts.join(" · ");
        summary.classList.toggle("down", !unit.connected);
    });
}

// ---------------------------------------------------------------- one unit's status

function renderUnit() {
    const unit = page.units.get(page.open);
    $("unit").hidden = !unit;
    if (!unit) {
        return;
    }
    setText("unit-title", page.open);
    const code = unit.state && typeof unit.state === "object" ? unit.state.code : null;
    for (const [key, label, codes] of StateLeds) {
        const lit = code !== null && codes.includes(code);
        setLed(document.querySelector('[data-led="' + key + '"]'), label, lit ? "blue" : "off");
    }
    // Comm goes grey with the line, as in the window.
    setLed(document.querySelector('[data-led="comm"]'), "Comm.",
           unit.connected && unit.comm === true ? "green" : "off");
    const signal = unit.signal;
    setText("level", signal ? String(signal.level) : "–");
    setLed(document.querySelector('[data-led="lock"]'), "Lock",
           signal && signal.locked ? "blue" : "off");
    setText("frequency", unit.lnb && unit.lnb.inUse ? unit.lnb.inUse + " MHz" : "–");

    const slots = unit.slots;
    for (const letter of ["A", "B"]) {
        const slot = slots ? slots[letter.toLowerCase()] : null;
        const inUse = slots && slots.inUse === letter;
        setText("sat-" + letter.toLowerCase(),
                slot ? text(slot.name || "#" + (slot.index + 1)) + (inUse ? " (in use)" : "") : "–");
        setLed(document.querySelector('[data-led="sat-' + letter.toLowerCase() + '"]'),
               "Satellite " + letter + " in use", inUse ? "blue" : "off");
    }
    const p = unit.pointing;
    setText("pointing", p ? "AZ " + fixed(p.azimuth, 2) + "°  EL " + fixed(p.elevation, 2) +
                                "°  SKEW " + fixed(p.skew, 2) + "°" : "–");
    setText("product", unit.product ? text(unit.product.name) +
                                          (unit.product.size ? " (" + unit.product.size + ")" : "")
                                    : "–");
    setText("versions", unit.versions ? "Ver " + fixed(unit.versions.software, 2) + ", " +
                                            fixed(unit.versions.second, 2)
                                      : "–");
    setText("serial", text(unit.serialNumber));
    setText("gps", unit.gps ? degreesMinutes(unit.gps.latitude) + "  " +
                                  degreesMinutes(unit.gps.longitude) : "–");
    setText("line", text(unit.port) + (unit.connected ? ", connected" : ", not connected") +
                        "; " + ageText(unit.lastReport));
}

// ---------------------------------------------------------------- the sky view

function cssColour(name) {
    return getComputedStyle(document.documentElement).getPropertyValue(name).trim();
}

// A canvas sized to its box in device pixels; returns its context in CSS pixels.
function fitCanvas(canvas) {
    const ratio = window.devicePixelRatio || 1;
    const width = canvas.clientWidth;
    const height = canvas.clientHeight;
    if (canvas.width !== Math.round(width * ratio) || canvas.height !== Math.round(height * ratio)) {
        canvas.width = Math.round(width * ratio);
        canvas.height = Math.round(height * ratio);
    }
    const context = canvas.getContext("2d");
    context.setTransform(ratio, 0, 0, ratio, 0, 0);
    context.clearRect(0, 0, width, height);
    return { context, width, height };
}

function degreesText(value) {
    return fixed(value, 1);
}

function skyDescription(sky) {
    const antenna = sky && sky.antenna
        ? "Antenna at azimuth " + degreesText(sky.antenna.azimuth) + "°, elevation " +
              degreesText(sky.antenna.elevation) + "°."
        : "No antenna position reported.";
    if (!sky || !sky.position) {
        return "No GPS position from the antenna yet. " + antenna;
    }
    const above = sky.satellites.filter((s) => s.aboveHorizon)
        .sort((a, b) => (a.tracked !== b.tracked ? (a.tracked ? -1 : 1) : a.azimuth - b.azimuth));
    let words = above.length + " of " + sky.satellites.length + " satellites above the horizon";
    if (above.length > 0) {
        words += ": " + above.map((s) => s.name + (s.tracked ? " (tracked)" : "") + " azimuth " +
                                         degreesText(s.azimuth) + "°, elevation " +
                                         degreesText(s.elevation) + "°").join("; ");
    }
    return words + ". " + antenna;
}

function drawSky() {
    const sky = page.sky;
    setText("sky-text", sky ? skyDescription(sky) : "No sky view yet.");
    const canvas = $("sky-canvas");
    page.skyDrawnWidth = canvas.clientWidth;
    const { context: g, width, height } = fitCanvas(canvas);
    const size = Math.min(width, height);
    const radius = size / 2 - 22;
    if (radius < 20) {
        return;  // not shown
    }
    const cx = width / 2;
    const cy = height / 2;
    // One mapping for every object: elevation 90° at the centre, the horizon on the rim,
    // north up and azimuth clockwise.
    const point = (azimuth, elevation) => {
        const r = radius * (90 - Math.max(0, elevation)) / 90;
        const a = azimuth * Math.PI / 180;
        return [cx + r * Math.sin(a), cy - r * Math.cos(a)];
    };
    g.lineWidth = 1;
    g.strokeStyle = cssColour("--grid");
    g.fillStyle = cssColour("--muted");
    g.font = "12px system-ui, sans-serif";
    g.textAlign = "center";
    g.textBaseline = "middle";
    for (const elevation of [0, 30, 60]) {
        g.beginPath();
        g.arc(cx, cy, radius * (90 - elevation) / 90, 0, 2 * Math.PI);
        g.stroke();
    }
    for (const [azimuth, label] of [[0, "N"], [90, "E"], [180, "S"], [270, "W"]]) {
        const [x, y] = point(azimuth, 0);
        g.beginPath();
        g.moveTo(cx, cy);
        g.lineTo(x, y);
        g.stroke();
        const [lx, ly] = [cx + (radius + 12) * Math.sin(azimuth * Math.PI / 180),
                          cy - (radius + 12) * Math.cos(azimuth * Math.PI / 180)];
        g.fillText(label, lx, ly);
    }
    if (!sky) {
        return;
    }
    if (sky.arc && sky.arc.length > 1) {
        g.strokeStyle = cssColour("--arc");
        g.lineWidth = 2;
        g.beginPath();
        sky.arc.forEach(([azimuth, elevation], k) => {
            const [x, y] = point(azimuth, elevation);
            if (k === 0) {
                g.moveTo(x, y);
            } else {
                g.lineTo(x, y);
            }
        });
        g.stroke();
    }
    g.textAlign = "left";
    // The tracked satellite first, so that its name is the one written where names would
    // overlap; a name that would cover another is left out (the text below has them all).
    const shown = (sky.satellites || []).filter((s) => s.aboveHorizon)
        .sort((a, b) => Number(b.tracked) - Number(a.tracked));
    const labels = [];
    for (const s of shown) {
        const [x, y] = point(s.azimuth, s.elevation);
        g.fillStyle = cssColour(s.tracked ? "--tracked" : "--marker");
        g.beginPath();
        g.arc(x, y, s.tracked ? 5 : 3.5, 0, 2 * Math.PI);
        g.fill();
        const box = { x: x + 7, y: y - 16, w: g.measureText(s.name).width, h: 14 };
        if (!labels.some((o) => box.x < o.x + o.w && o.x < box.x + box.w &&
                                box.y < o.y + o.h && o.y < box.y + box.h)) {
            labels.push(box);
            g.fillText(s.name, box.x, y - 8);
        }
    }
    if (sky.antenna) {
        const [x, y] = point(sky.antenna.azimuth, sky.antenna.elevation);
        g.strokeStyle = cssColour("--pointing");
        g.lineWidth = 2;
        g.beginPath();
        g.moveTo(x - 7, y);
        g.lineTo(x + 7, y);
        g.moveTo(x, y - 7);
        g.lineTo(x, y + 7);
        g.stroke();
    }
}

async function fetchSky() {
    const name = page.open;
    page.skyFetched = Date.now();
    try {
        const sky = await getJson(unitPath(name) + "/sky");
        if (name === page.open) {
            page.sky = sky;
            drawSky();
        }
    } catch (error) {
        // The sky view waits for the next change of the unit.
    }
}

// The sky follows the antenna's pointing: fetched again when it changes, at most every
// few seconds.
function skyChanged() {
    if (page.skyTimer) {
        return;
    }
    const wait = Math.max(0, page.skyFetched + SkyRefreshMs - Date.now());
    page.skyTimer = setTimeout(() => {
        page.skyTimer = null;
        fetchSky();
    }, wait);
}

// ---------------------------------------------------------------- the signal history

function windowSamples() {
    const start = Date.now() - page.minutes * 60000;
    return page.samples.filter((s) => s.ms >= start);
}

function takeSample(sample) {
    const entry = { ms: Date.parse(sample.time), level: sample.level, lock: sample.lock,
                    state: sample.state };
    if (!isFinite(entry.ms)) {
        return;
    }
    const last = page.samples[page.samples.length - 1];
    if (last && entry.ms <= last.ms) {
        return;  // had already, from the history fetched after a reconnection
    }
    page.samples.push(entry);
    page.peak = page.peak === null ? entry.level : Math.max(page.peak, entry.level);
    const keepFrom = Date.now() - 60 * 60000;
    while (page.samples.length > 0 && page.samples[0].ms < keepFrom) {
        page.samples.shift();
    }
}

function chartDescription(shown) {
    if (page.samples.length === 0) {
        return "No signal reported yet";
    }
    const newest = page.samples[page.samples.length - 1];
    let words = "Signal " + newest.level + ", " + (newest.lock ? "locked" : "not locked") + ", " +
                (StateWords[newest.state] || "state " + newest.state) + "; last " + page.minutes +
                " minute" + (page.minutes === 1 ? "" : "s");
    if (shown.length > 0) {
        const levels = shown.map((s) => s.level);
        words += ": minimum " + Math.min(...levels) + ", maximum " + Math.max(...levels);
    }
    return words + "; peak " + page.peak;
}

function drawChart() {
    const shown = windowSamples();
    const levels = shown.map((s) => s.level);
    const newest = page.samples[page.samples.length - 1];
    setText("stat-current", newest ? String(newest.level) : "–");
    setText("stat-minimum", levels.length ? String(Math.min(...levels)) : "–");
    setText("stat-maximum", levels.length ? String(Math.max(...levels)) : "–");
    setText("stat-peak", page.peak === null ? "–" : String(page.peak));
    setText("chart-text", chartDescription(shown));

    const { context: g, width, height } = fitCanvas($("chart"));
    const left = 40;
    const right = width - 8;
    const top = 8;
    const bottom = height - 22;
    const end = Date.now();
    const span = page.minutes * 60000;
    let low = levels.length ? Math.min(...levels) : 0;
    let high = levels.length ? Math.max(...levels) : 800;
    const step = high - low > 200 ? 100 : 50;
    low = Math.floor(low / step) * step;
    high = Math.max(low + step, Math.ceil(high / step) * step);
    const x = (ms) => left + (right - left) * (ms - (end - span)) / span;
    const y = (level) => bottom - (bottom - top) * (level - low) / (high - low);

    g.strokeStyle = cssColour("--grid");
    g.fillStyle = cssColour("--muted");
    g.lineWidth = 1;
    g.font = "11px system-ui, sans-serif";
    g.textAlign = "right";
    g.textBaseline = "middle";
    for (let level = low; level <= high; level += step) {
        g.beginPath();
        g.moveTo(left, y(level));
        g.lineTo(right, y(level));
        g.stroke();
        g.fillText(String(level), left - 4, y(level));
    }
    g.textAlign = "center";
    g.textBaseline = "top";
    const ticks = page.minutes === 1 ? 4 : Math.min(page.minutes, 6);
    for (let k = 0; k <= ticks; ++k) {
        const ms = end - span + span * k / ticks;
        const minutesAgo = (span - span * k / ticks) / 60000;
        const ago = page.minutes === 1 ? Math.round(minutesAgo * 60) + " s"
                                       : Math.round(minutesAgo * 10) / 10 + " min";
        g.fillText(k === ticks ? "now" : "−" + ago,
                   Math.min(Math.max(x(ms), left + 16), right - 16), bottom + 4);
    }
    // The level as a line, drawn in the unlocked colour where the carrier was not locked.
    g.lineWidth = 2;
    for (let k = 1; k < shown.length; ++k) {
        const a = shown[k - 1];
        const b = shown[k];
        g.strokeStyle = cssColour(b.lock ? "--plot-line" : "--plot-unlocked");
        g.beginPath();
        g.moveTo(x(a.ms), y(a.level));
        g.lineTo(x(b.ms), y(b.level));
        g.stroke();
    }
    if (shown.length === 1) {
        g.fillStyle = cssColour("--plot-line");
        g.fillRect(x(shown[0].ms) - 2, y(shown[0].level) - 2, 4, 4);
    }
}

async function fetchHistory() {
    const name = page.open;
    try {
        // A chart's width of points: the agent keeps each stretch's lowest and highest
        // level and the newest, so the minimum, maximum and peak stay exact while a unit
        // that reports twenty times a second does not make the page heavy.
        const history = await getJson(unitPath(name) + "/history?minutes=" + page.minutes +
                                      "&max=" + HistoryPoints);
        if (name !== page.open) {
            return;
        }
        const before = page.samples;
        page.samples = [];
        for (const sample of history.samples || []) {
            takeSample(sample);
        }
        // Live samples that came while the history was on its way.
        const last = page.samples.length ? page.samples[page.samples.length - 1].ms : -Infinity;
        for (const s of before) {
            if (s.ms > last) {
                page.samples.push(s);
            }
        }
        if (before.length) {
            page.peak = Math.max(page.peak === null ? -Infinity : page.peak,
                                 ...before.map((s) => s.level));
        }
    } catch (error) {
        // Shown as it is; the live samples fill the chart.
    }
    scheduleDraw();
}

async function downloadCsv() {
    const name = page.open;
    const response = await fetch(unitPath(name) + "/history?minutes=" + page.minutes,
                                 { headers: authHeaders({ Accept: "text/csv" }) });
    if (!response.ok) {
        say("The history could not be fetched (" + response.status + ").", "error");
        return;
    }
    const url = URL.createObjectURL(await response.blob());
    const link = document.createElement("a");
    link.href = url;
    link.download = name + "-signal-" + page.minutes + "min.csv";
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 1000);
}

function selectWindow(minutes) {
    page.minutes = minutes;
    for (const button of document.querySelectorAll("[data-minutes]")) {
        button.setAttribute("aria-pressed", String(Number(button.dataset.minutes) === minutes));
    }
    fetchHistory();
}

// ---------------------------------------------------------------- drawing, batched

function scheduleDraw() {
    if (page.drawPending) {
        return;
    }
    page.drawPending = true;
    requestAnimationFrame(() => {
        page.drawPending = false;
        renderList();
        renderUnit();
        if (page.open) {
            drawChart();
            if ($("sky-canvas").clientWidth !== page.skyDrawnWidth) {
                drawSky();
            }
        }
    });
}

// ---------------------------------------------------------------- commands

function say(message, kind) {
    const result = $("command-result");
    result.dataset.kind = kind;
    result.textContent = message;
}

// Asks for the token; resolves to true when one was saved. `problem` says why it is asked
// again.
function askToken(problem) {
    const dialog = $("token-dialog");
    $("token-problem").hidden = !problem;
    $("token-problem").textContent = problem || "";
    $("token-input").value = "";
    dialog.returnValue = "";
    return new Promise((resolve) => {
        dialog.addEventListener("close", () => {
            const value = $("token-input").value.trim();
            if (dialog.returnValue === "ok" && value) {
                localStorage.setItem(TokenKey, value);
                resolve(true);
            } else {
                resolve(false);
            }
        }, { once: true });
        dialog.showModal();
    });
}

function confirmMove(command, satellite) {
    const dialog = $("confirm-dialog");
    $("confirm-text").textContent = Confirmations[command].replace("%s", satellite || "");
    dialog.returnValue = "";
    return new Promise((resolve) => {
        dialog.addEventListener("close", () => resolve(dialog.returnValue === "ok"),
                                { once: true });
        dialog.showModal();
    });
}

const CommandNames = {
    "get-information": "Get Antenna Information",
    "restart": "Restart",
    "setup": "Setup",
    "select-satellite": "Satellite",
};

async function sendCommand(button) {
    const command = button.dataset.command;
    const satellite = button.dataset.satellite;
    const label = CommandNames[command] + (satellite ? " " + satellite : "");
    const name = page.open;
    if (!token() && !(await askToken())) {
        say(label + " not sent: commands need the agent's access token.", "error");
        return;
    }
    if (command in Confirmations && !(await confirmMove(command, satellite))) {
        say(label + " not sent: cancelled.", "");
        return;
    }
    const body = { command };
    if (satellite) {
        body.satellite = satellite;
    }
    say("Sending " + label + "…", "");
    let response;
    try {
        response = await fetch(unitPath(name) + "/commands", {
            method: "POST",
            headers: authHeaders({ "Content-Type": "application/json" }),
            body: JSON.stringify(body),
        });
    } catch (error) {
        say(label + " not sent: the agent cannot be reached.", "error");
        return;
    }
    if (response.status === 202) {
        say(label + " sent to " + name + ".", "ok");
        return;
    }
    const reasons = {
        400: "the agent did not take the command",
        401: "the agent asks for the access token",
        403: "the access token is wrong",
        404: "the agent has no such unit",
        409: "a client of the unit's share port is sending; try again in a few seconds",
        503: "the unit's line is down",
    };
    const reason = reasons[response.status] || "the agent answered " + response.status;
    say(label + " not sent: " + reason + ".", "error");
    if (response.status === 401 || response.status === 403) {
        localStorage.removeItem(TokenKey);
        if (await askToken("The token was refused: " + reason + ".")) {
            say("Token saved; press " + label + " again.", "");
        }
    }
}

// ---------------------------------------------------------------- the live stream

function showLink(state, message) {
    const link = $("link");
    link.dataset.state = state;
    if (link.textContent !== message) {
        link.textContent = message;
    }
}

function takeUnit(name, state) {
    const before = page.units.get(name);
    page.units.set(name, Object.assign({ name }, state));
    if (name === page.open) {
        const moved = !before || JSON.stringify(before.pointing) !== JSON.stringify(state.pointing) ||
                      JSON.stringify(before.gps) !== JSON.stringify(state.gps) ||
                      JSON.stringify(before.trackedSatellite) !==
                          JSON.stringify(state.trackedSatellite);
        if (moved) {
            skyChanged();
        }
    }
    scheduleDraw();
}

function openStream() {
    clearTimeout(page.retryTimer);
    if (page.events) {
        page.events.close();
    }
    // The token goes into the address (a stream cannot carry a header) only where reads
    // need it: after a stream was refused.
    const query = page.readsNeedToken && token() ? "?token=" + encodeURIComponent(token()) : "";
    const events = new EventSource("/api/v1/events" + query);
    page.events = events;
    events.addEventListener("open", () => {
        page.retryMs = RetryMinMs;
        showLink("live", "Live");
        if (page.everLive) {
            catchUp();
        }
        page.everLive = true;
    });
    events.addEventListener("unit", (event) => {
        const data = JSON.parse(event.data);
        takeUnit(data.name, data.state);
    });
    events.addEventListener("sample", (event) => {
        const data = JSON.parse(event.data);
        if (data.name === page.open) {
            takeSample(data.sample);
            scheduleDraw();
        }
    });
    events.addEventListener("error", () => {
        // The browser retries a dropped stream itself; one it gave up on (CLOSED) is
        // opened again here, waiting longer each time.
        const seconds = Math.round(page.retryMs / 1000);
        showLink("lost", "Connection to the agent lost; retrying" +
                             (events.readyState === EventSource.CLOSED ? " in " + seconds + " s" : "") +
                             "…");
        if (events.readyState === EventSource.CLOSED) {
            page.readsNeedToken = true;
            page.retryTimer = setTimeout(openStream, page.retryMs);
            page.retryMs = Math.min(RetryMaxMs, page.retryMs * 2);
        }
    });
}

// After a lost stream: the list, the open unit and its history again.
async function catchUp() {
    await loadUnits();
    if (page.open) {
        fetchHistory();
        fetchSky();
    }
}

async function loadUnits() {
    try {
        const list = await getJson("/api/v1/units");
        const names = new Set();
        for (const summary of list.units) {
            names.add(summary.name);
            if (!page.units.has(summary.name)) {
                page.units.set(summary.name, summary);
            }
        }
        for (const name of [...page.units.keys()]) {
            if (!names.has(name)) {
                page.units.delete(name);
            }
        }
        // The full state of the unit shown.
        if (page.open && names.has(page.open)) {
            takeUnit(page.open, await getJson(unitPath(page.open)));
        }
    } catch (error) {
        if (error.status === 401 || error.status === 403) {
            page.readsNeedToken = true;
            showLink("lost", "The agent needs the access token to show its units: " +
                                 "press Access token.");
        }
    }
    chooseUnit();
    scheduleDraw();
}

// The unit named in the address, or the first one.
function chooseUnit() {
    const match = /unit=([^&]+)/.exec(location.hash);
    let name = match ? decodeURIComponent(match[1]) : null;
    if (!name || !page.units.has(name)) {
        name = page.units.size ? [...page.units.keys()].sort()[0] : null;
    }
    if (name === page.open) {
        return;
    }
    page.open = name;
    page.samples = [];
    page.peak = null;
    page.sky = null;
    say("", "");
    if (name) {
        getJson(unitPath(name)).then((state) => takeUnit(name, state)).catch(() => {});
        fetchHistory();
        fetchSky();
    }
    drawSky();
    scheduleDraw();
}

// ---------------------------------------------------------------- start

function setNight(on) {
    document.documentElement.classList.toggle("night", on);
    $("night").setAttribute("aria-pressed", String(on));
    localStorage.setItem(NightKey, on ? "1" : "0");
    drawSky();
    scheduleDraw();
}

function start() {
    setNight(localStorage.getItem(NightKey) === "1");
    $("night").addEventListener("click", () =>
        setNight(!document.documentElement.classList.contains("night")));
    $("token-button").addEventListener("click", async () => {
        if (await askToken()) {
            say("Token saved.", "ok");
            loadUnits().then(openStream);
        }
    });
    for (const button of document.querySelectorAll("[data-command]")) {
        button.addEventListener("click", () => sendCommand(button));
    }
    for (const button of document.querySelectorAll("[data-minutes]")) {
        button.addEventListener("click", () => selectWindow(Number(button.dataset.minutes)));
    }
    $("csv").addEventListener("click", downloadCsv);
    window.addEventListener("hashchange", chooseUnit);
    window.addEventListener("resize", () => {
        drawSky();
        scheduleDraw();
    });
    window.matchMedia("(prefers-color-scheme: dark)").addEventListener("change", () => {
        drawSky();
        scheduleDraw();
    });
    // The ages in the list and the chart's time axis move on by themselves.
    setInterval(scheduleDraw, AgeTickMs);
    loadUnits().then(openStream);
}

start();
