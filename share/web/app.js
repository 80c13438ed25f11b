// Kestrelwatch's web page: the two lists, a device's details and the live events, from the monitor's API.
// Every text that came from the network (names, vendors, models, history lines) goes into the page as text
// (textContent), never as markup. The token, when the page needs one, is kept in this origin's storage and
// sent as a bearer header; the page sets no cookie.
"use strict";
(() => {
  const TOKEN_KEY = "kestrelwatch-token";
  const TYPES = new Set(["unknown", "router", "computer", "phone", "tablet", "tv", "speaker", "printer", "camera",
    "console", "nas", "smart-home", "wearable", "network"]);
  const KIND_WORDS = {
    admitted: "New device", online: "Connected", offline: "Disconnected", address: "New address",
    renamed: "Renamed", acknowledged: "Acknowledged", moved: "Moved", removed: "Removed",
    impersonation: "Impersonation warning", return: "Came back", described: "Described", merged: "Merged",
    note: "Note changed", watch: "Watch changed",
  };
  const state = { devices: new Map(), selected: null, hours: 24, run: null, loaded: false, recent: [], detail: null,
    network: "" };
  const rows = new Map();
  const $ = (id) => document.getElementById(id);
  const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

  function element(tag, className, text) {
    const e = document.createElement(tag);
    if (className) e.className = className;
    if (text !== undefined) e.textContent = text;
    return e;
  }
  function when(iso) {
    if (!iso) return "never";
    const d = new Date(iso);
    return isNaN(d) ? iso : d.toLocaleString();
  }

  // The API, with the token when there is one; a 401 asks for it once.
  const token = () => localStorage.getItem(TOKEN_KEY) || "";
  function headers(extra) {
    const h = Object.assign({}, extra);
    if (token()) h.Authorization = "Bearer " + token();
    return h;
  }
  async function api(path, options = {}) {
    const response = await fetch(path, Object.assign({}, options,
      { headers: headers(options.headers), cache: "no-store", credentials: "omit" }));
    let body = null;
    try { body = await response.json(); } catch (e) { body = null; }
    if (response.status === 401) askToken(body && body.reason);
    return { status: response.status, ok: response.ok, body: body || {} };
  }

  let tokenWaiters = [];
  function askToken(reason) {
    const dialog = $("token-dialog");
    if (dialog.open) return;
    $("token-why").textContent = (token() ? "The monitor refused the token kept here. " : "") +
      "Changes" + (location.hostname === "127.0.0.1" || location.hostname === "localhost" || location.hostname === "[::1]" ? "" : " and reading") +
      " need the monitor's web token. On the monitor's machine, kestrelwatch-ctl web-token prints it.";
    $("token-input").value = "";
    dialog.showModal();
  }
  function showTokenState() {
    $("token-button").textContent = token() ? "Token ✓" : "Token";
  }
  function tokenChanged() {
    showTokenState();
    const waiting = tokenWaiters;
    tokenWaiters = [];
    waiting.forEach((w) => w());
  }

  // The lists: rows are kept per MAC and updated in place, so a change redraws one row's texts.
  function matches(d, filter) {
    if (!filter) return true;
    return [d.name, d.mac, d.address, d.vendor, d.model, d.type, d.host_name].some(
      (v) => String(v || "").toLowerCase().includes(filter));
  }
  function rowFor(d) {
    let li = rows.get(d.mac);
    if (!li) {
      li = element("li", "device");
      li.tabIndex = 0;
      const svg = document.createElementNS("http://www.w3.org/2000/svg", "svg");
      svg.setAttribute("class", "icon");
      svg.setAttribute("aria-hidden", "true");
      svg.appendChild(document.createElementNS("http://www.w3.org/2000/svg", "use"));
      li.append(svg, element("span", "name"), element("span", "sub"), element("span", "state"));
      const mac = d.mac;
      li.addEventListener("click", () => select(mac));
      li.addEventListener("keydown", (e) => { if (e.key === "Enter" || e.key === " ") { e.preventDefault(); select(mac); } });
      rows.set(d.mac, li);
    }
    li.dataset.mac = d.mac;
    li.className = "device" + (d.online ? " online" : "") + (state.selected === d.mac ? " selected" : "");
    li.querySelector("use").setAttribute("href", "icons.svg#" + (TYPES.has(d.type) ? d.type : "unknown"));
    li.querySelector(".name").textContent = d.name || d.host_name || d.mac;
    li.querySelector(".sub").textContent = "IP - " + (d.address || "none") + (d.vendor ? " · " + d.vendor : "");
    const s = li.querySelector(".state");
    s.textContent = d.online ? "ONLINE" : "OFFLINE";
    if (d.new) s.appendChild(element("span", "new", "NEW"));
    li.title = [d.type !== "unknown" ? d.type : "", d.model, d.os].filter(Boolean).join(" · ");
    return li;
  }
  const order = (a, b) => (b.online - a.online) || String(a.name).localeCompare(String(b.name));
  function renderLists() {
    const all = [...state.devices.values()];
    for (const which of ["intruders", "safe"]) {
      const filter = $(which + "-filter").value.trim().toLowerCase();
      const list = all.filter((d) => d.list === which);
      list.sort(order);
      const shown = list.filter((d) => matches(d, filter));
      const fragment = document.createDocumentFragment();
      for (const d of shown) fragment.appendChild(rowFor(d));
      if (!shown.length) {
        fragment.appendChild(element("li", "none", list.length ? "No device matches the filter."
          : which === "intruders" ? "No intruders." : "No devices on the safe list yet."));
      }
      $(which).replaceChildren(fragment);
    }
    for (const mac of rows.keys()) if (!state.devices.has(mac)) rows.delete(mac);
    renderFigures();
  }
  // The counts, the status and the recent events: cheap beside the lists, so an event redraws them at once.
  function renderFigures() {
    const all = [...state.devices.values()];
    for (const which of ["intruders", "safe"]) {
      const n = all.filter((d) => d.list === which).length;
      $(which + "-count").textContent = n + (n === 1 ? " device" : " devices");
    }
    const online = all.filter((d) => d.online).length;
    const intruders = all.filter((d) => d.online && d.list === "intruders").length;
    $("sum-devices").textContent = all.length;
    $("sum-online").textContent = online;
    $("sum-intruders").textContent = intruders;
    $("sum-waiting").textContent = all.filter((d) => d.new).length;
    $("status").className = "status " + (intruders ? "alarm" : "clear");
    $("status-text").textContent = intruders ? intruders + (intruders === 1 ? " intruder online" : " intruders online")
      : "No intruders online";
    renderRecent();
  }
  function renderRecent() {
    const fragment = document.createDocumentFragment();
    for (const e of state.recent.slice(0, 20)) {
      const li = element("li");
      li.append(element("time", "", when(e.time)),
        element("span", "", (KIND_WORDS[e.kind] || e.kind) + ": " + (e.device ? e.device.name : e.mac)));
      fragment.appendChild(li);
    }
    $("recent").replaceChildren(fragment);
  }
  // One device's row put right where it now belongs, without drawing the lists again; false when the lists
  // need a whole redraw (a new device, one that went, one shown nowhere yet).
  function placeRow(d) {
    const li = rows.get(d.mac);
    if (!li || !li.isConnected) return false;
    const ul = $(d.list);
    rowFor(d);
    li.remove();
    if (matches(d, $(d.list + "-filter").value.trim().toLowerCase())) {
      let next = null;
      for (const other of ul.children) {
        const o = state.devices.get(other.dataset.mac);
        if (o && order(d, o) < 0) { next = other; break; }
      }
      ul.insertBefore(li, next);
      const none = ul.querySelector(".none");
      if (none) none.remove();
    }
    renderFigures();
    return true;
  }
  let tidy = null;
  let reload = null;
  let pending = false;
  let afterRender = [];
  function render(then) {
    if (then) afterRender.push(then);
    if (pending) return;
    pending = true;
    requestAnimationFrame(() => {
      pending = false;
      renderLists();
      const done = afterRender;
      afterRender = [];
      done.forEach((f) => f());
    });
  }

  // The choice of network, as in the window: shown when the monitor knows several; "All networks" first.
  function renderNetworks(networks) {
    const select = $("network");
    select.hidden = networks.length < 2;
    if (!networks.some((n) => n.id === state.network)) state.network = "";
    select.replaceChildren();
    const all = element("option", "", "All networks");
    all.value = "";
    select.appendChild(all);
    for (const n of networks) {
      const option = element("option", "", n.title);
      option.value = n.id;
      select.appendChild(option);
    }
    select.value = state.network;
  }
  async function refreshNetworks() {
    const networks = await api("/api/networks");
    if (networks.ok && Array.isArray(networks.body)) renderNetworks(networks.body);
  }
  async function loadAll() {
    const path = "/api/devices" + (state.network ? "?network=" + encodeURIComponent(state.network) : "");
    const [devices, summary, networks] = await Promise.all([api(path), api("/api/summary"), api("/api/networks")]);
    if (networks.ok && Array.isArray(networks.body)) renderNetworks(networks.body);
    // A network forgotten meanwhile: every network again.
    if (devices.status === 404 && state.network) { state.network = ""; return loadAll(); }
    if (!devices.ok) return;
    state.devices = new Map(devices.body.map((d) => [d.mac, d]));
    state.recent = summary.ok ? summary.body.recent || [] : [];
    state.loaded = true;
    render(() => {
      // The benchmark and the browser test read when the lists were first drawn.
      if (!document.body.dataset.painted) document.body.dataset.painted = String(performance.now());
    });
    if (state.selected) showDetails(state.selected);
  }

  // A device's details, with its timeline over the chosen span and its history, newest first.
  async function select(mac) {
    state.selected = mac;
    render();
    await showDetails(mac);
    // On a phone the details stand above the lists: bring them into view.
    if (state.selected === mac && matchMedia("(max-width: 760px)").matches) $("details").scrollIntoView({ block: "start" });
  }
  async function showDetails(mac) {
    const answer = await api("/api/devices/" + encodeURIComponent(mac));
    if (state.selected !== mac) return;
    if (!answer.ok) {
      $("details").hidden = true;
      $("placeholder").hidden = false;
      state.selected = null;
      return;
    }
    const d = answer.body;
    state.detail = d;
    $("placeholder").hidden = true;
    $("details").hidden = false;
    $("details").dataset.mac = d.mac;
    $("d-title").textContent = (d.name || d.mac) + (d.address ? " (" + d.address + ")" : "");
    const facts = [["State", d.online ? "Online" : "Offline"], ["List", d.list === "safe" ? "Safe list" : "Intruders"],
      ["New", d.new ? "Yes, not acknowledged" : "No"], ["Host name", d.host_name], ["IP address", d.address],
      ["MAC address", d.mac], ["Manufacturer", d.vendor], ["Type", d.type === "unknown" ? "" : d.type],
      ["Model", d.model], ["OS", d.os], ["First seen", when(d.first_seen)], ["Last seen", when(d.last_seen)]];
    const fragment = document.createDocumentFragment();
    for (const [label, value] of facts) {
      if (value === undefined || value === "") continue;
      fragment.append(element("dt", "", label), element("dd", "", String(value)));
    }
    $("d-facts").replaceChildren(fragment);
    if (document.activeElement !== $("rename-input")) $("rename-input").value = d.name === d.host_name ? "" : d.name;
    // The note box is the user's while they type in it: an event for this device never puts the stored note back.
    if (document.activeElement !== $("note-input")) $("note-input").value = d.note || "";
    $("act-ack").disabled = !d.new;
    $("act-move").textContent = d.list === "safe" ? "← Move to intruders" : "Move to safe list →";
    $("act-remove").disabled = d.online;
    $("act-remove").title = d.online ? "An online device cannot be removed" : "";
    $("act-watch").value = d.watch || "none";
    drawTimeline(d.intervals || []);
    const history = document.createDocumentFragment();
    for (const line of (d.history || []).slice().reverse()) {
      const li = element("li");
      // Lines since the store took ISO 8601 are shown in the browser's own form; older ones as they were written.
      li.append(element("time", "", isNaN(Date.parse(line.time)) ? line.time : when(line.time)),
        element("span", "", line.text));
      history.appendChild(li);
    }
    $("d-history").replaceChildren(history);
  }
  function drawTimeline(intervals) {
    const svg = $("timeline");
    const now = Date.now();
    const span = state.hours * 3600e3;
    const start = now - span;
    const ns = "http://www.w3.org/2000/svg";
    const parts = [];
    for (let i = 1; i < 6; ++i) {
      const l = document.createElementNS(ns, "line");
      l.setAttribute("x1", i * 200); l.setAttribute("x2", i * 200); l.setAttribute("y1", 0); l.setAttribute("y2", 24);
      parts.push(l);
    }
    for (const i of intervals) {
      const from = Math.max(start, Date.parse(i.from));
      const to = Math.min(now, i.open ? now : Date.parse(i.to));
      if (!(to > from)) continue;
      const r = document.createElementNS(ns, "rect");
      r.setAttribute("x", ((from - start) / span) * 1000);
      r.setAttribute("width", Math.max(2, ((to - from) / span) * 1000));
      r.setAttribute("y", 3); r.setAttribute("height", 18); r.setAttribute("rx", 2);
      parts.push(r);
    }
    svg.replaceChildren(...parts);
    $("tl-caption").textContent = "Online, last " + (state.hours === 24 ? "24 h" : state.hours / 24 + " days");
    const labels = [];
    for (let i = 0; i <= 4; ++i) {
      const t = new Date(start + (span * i) / 4);
      labels.push(element("span", "", state.hours <= 24 ? t.toLocaleTimeString([], { hour: "2-digit", minute: "2-digit" })
        : t.toLocaleDateString([], { month: "short", day: "numeric" })));
    }
    $("tl-labels").replaceChildren(...labels);
  }

  // The actions, each one request; the page follows the answer and, for every other page, the event.
  async function act(verb, body) {
    const mac = state.selected;
    if (!mac) return;
    const message = $("d-message");
    const answer = await api("/api/devices/" + encodeURIComponent(mac) + "/" + verb, {
      method: "POST", headers: { "Content-Type": "application/json" }, body: JSON.stringify(body || {}),
    });
    message.className = "message" + (answer.ok ? " ok" : "");
    message.textContent = answer.ok ? (answer.body.changed ? "Done." : "Nothing to change.")
      : "Refused: " + (answer.body.reason || "status " + answer.status);
    if (!answer.ok) return;
    if (answer.body.device) state.devices.set(mac, answer.body.device);
    if (verb === "remove") {
      state.devices.delete(mac);
      state.selected = null;
      $("details").hidden = true;
      $("placeholder").hidden = false;
    } else {
      showDetails(mac);
    }
    render();
  }

  // Live events over one long request (Server-Sent Events read by fetch, so the token can go in a header);
  // after a restart of the monitor it connects again and reads the lists afresh.
  function setLive(mode, text) {
    $("live").className = "live " + mode;
    $("live").textContent = text;
  }
  function handleBlock(block) {
    let event = "message";
    let data = "";
    for (const line of block.split("\n")) {
      if (line.startsWith("event:")) event = line.slice(6).trim();
      else if (line.startsWith("data:")) data += line.slice(5).trim();
    }
    if (!data) return;
    const payload = JSON.parse(data);
    if (event === "hello") {
      const first = state.run === null;
      state.run = payload.run;
      if (!first || !state.loaded) loadAll();
      return;
    }
    if (event !== "device") return;
    // A device admitted may be the first of a network joined: the choice learns it.
    if (payload.kind === "admitted") refreshNetworks();
    // An event names no network: while one is chosen the lists are asked for again once the events pause.
    if (state.network) {
      clearTimeout(reload);
      reload = setTimeout(loadAll, 300);
      return;
    }
    if (payload.device) state.devices.set(payload.mac, payload.device);
    else state.devices.delete(payload.mac);
    state.recent.unshift(payload);
    state.recent.length = Math.min(state.recent.length, 20);
    const applied = () => { window.kwLastApplied = { mac: payload.mac, kind: payload.kind, at: Date.now() }; };
    if (payload.device && placeRow(payload.device)) {
      applied();
      // The lists are drawn whole again once the events pause, for what one row cannot say (an emptied list).
      clearTimeout(tidy);
      tidy = setTimeout(() => render(), 1000);
    } else {
      render(applied);
    }
    if (state.selected === payload.mac) {
      if (payload.device) showDetails(payload.mac);
      else { state.selected = null; $("details").hidden = true; $("placeholder").hidden = false; }
    }
  }
  async function stream() {
    let delay = 1000;
    for (;;) {
      try {
        const response = await fetch("/api/events", {
          headers: headers({ Accept: "text/event-stream" }), cache: "no-store", credentials: "omit",
        });
        if (response.status === 401) {
          setLive("off", "needs the token");
          askToken();
          await new Promise((r) => tokenWaiters.push(r));
          continue;
        }
        if (!response.ok || !response.body) throw new Error("status " + response.status);
        setLive("on", "live");
        delay = 1000;
        const reader = response.body.getReader();
        const decoder = new TextDecoder();
        let buffer = "";
        for (;;) {
          const { value, done } = await reader.read();
          if (done) break;
          buffer += decoder.decode(value, { stream: true });
          let cut;
          while ((cut = buffer.indexOf("\n\n")) >= 0) {
            handleBlock(buffer.slice(0, cut));
            buffer = buffer.slice(cut + 2);
          }
        }
      } catch (e) {
        // The monitor went away (a restart): try again, a little later each time, up to every 5 s.
      }
      setLive("off", "reconnecting");
      await sleep(delay);
      delay = Math.min(delay * 2, 5000);
    }
  }

  function wire() {
    for (const which of ["intruders", "safe"]) $(which + "-filter").addEventListener("input", () => render());
    $("network").addEventListener("change", () => { state.network = $("network").value; loadAll(); });
    $("details-close").addEventListener("click", () => {
      state.selected = null;
      $("details").hidden = true;
      $("placeholder").hidden = false;
      render();
    });
    $("rename-form").addEventListener("submit", (e) => { e.preventDefault(); act("rename", { name: $("rename-input").value }); });
    $("note-form").addEventListener("submit", (e) => { e.preventDefault(); act("note", { note: $("note-input").value }); });
    $("act-ack").addEventListener("click", () => act("ack"));
    $("act-move").addEventListener("click", () => {
      const d = state.devices.get(state.selected);
      act("move", { list: d && d.list === "safe" ? "intruders" : "safe" });
    });
    $("act-watch").addEventListener("change", () => act("watch", { watch: $("act-watch").value }));
    $("act-remove").addEventListener("click", () => {
      const d = state.devices.get(state.selected);
      if (d && confirm("Remove " + (d.name || d.mac) + "? Its history file stays.")) act("remove");
    });
    for (const b of document.querySelectorAll(".spans button")) {
      b.addEventListener("click", () => {
        state.hours = Number(b.dataset.hours);
        for (const other of document.querySelectorAll(".spans button")) other.classList.toggle("on", other === b);
        if (state.detail) drawTimeline(state.detail.intervals || []);
      });
    }
    $("token-button").addEventListener("click", () => askToken());
    document.addEventListener("keydown", (e) => {
      if (e.key === "Escape" && !$("details").hidden && !$("token-dialog").open) $("details-close").click();
    });
    $("token-cancel").addEventListener("click", () => $("token-dialog").close());
    $("token-form").addEventListener("submit", () => {
      const value = $("token-input").value.trim();
      if (value) localStorage.setItem(TOKEN_KEY, value);
      tokenChanged();
      loadAll();
    });
  }

  wire();
  showTokenState();
  loadAll();
  stream();
})();
