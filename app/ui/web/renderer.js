// Vexlo Tweaks renderer: draws the element tree that the application streams over the
// WebSocket and sends the user's actions back. It holds no product logic: every state it
// shows comes from the application.
'use strict';
(() => {
  // The address's one-time secret was traded for the session cookie when this page loaded; it
  // opens nothing any more, so it leaves the address bar, and a reload (F5) asks for "/".
  if (location.search) history.replaceState(null, '', '/');
  const stage = document.getElementById('vx-stage');
  const SVG = 'http://www.w3.org/2000/svg';

  const nodes = new Map();  // element id -> node record
  let rootNode = null;
  let ws = null;
  let retries = 0;
  let ended = false;          // the application has closed: never reconnect
  let renderedSent = false;
  let fitQueued = false;

  // ---- Icon glyphs -------------------------------------------------------------------

  // Shown when neither icon font is installed: close enough to read the window.
  const FALLBACK = {
    E80F: '\u2302', E945: '\u21AF', EC4A: '\u25D4', E765: '\u2328', E839: '\u21C5',
    E7FC: '\u25C8', E71C: '\u25BD', E7E8: '\u25CE', E894: '\u232B', E71D: '\u25A6',
    E72C: '\u21BB', E721: '\u2315', E921: '\u2500', E8BB: '\u2715', E73E: '\u2713',
    E946: '\u2139\uFE0E', E7BA: '\u26A0\uFE0E', E895: '\u27F3', E70D: '\u25BE', E76C: '\u203A',
    E82F: '\u263C', E72D: '\u2197', E9D9: '\u25A3', E7F4: '\u25AD', E7B8: '\u25A4',
    E770: '\u229E', E7F8: '\u25B1',
  };

  // An installed font changes the width of its private-use glyphs against a generic family.
  const iconFont = (() => {
    const ctx = document.createElement('canvas').getContext('2d');
    if (!ctx) return true;
    const probe = '\uE80F\uE945\uE721\uE8BB';
    const width = (font) => { ctx.font = font; return ctx.measureText(probe).width; };
    return ['monospace', 'serif'].some((base) =>
      ['Segoe Fluent Icons', 'Segoe MDL2 Assets'].some((f) => width(`16px "${f}", ${base}`) !== width(`16px ${base}`)));
  })();
  if (!iconFont) document.documentElement.classList.add('vx-no-icons');

  function glyphText(code) {
    const s = String(code ?? '');
    const hex = s.replace(/^(U\+|0x|\\u)/i, '').toUpperCase();
    if (!/^[0-9A-F]{2,6}$/.test(hex)) return s;  // already a character
    return iconFont ? String.fromCodePoint(parseInt(hex, 16)) : (FALLBACK[hex] || '\u2022');
  }

  // ---- Building ----------------------------------------------------------------------

  const CONTROLS = new Set(['button', 'toggle', 'chip', 'chipcheck', 'nav']);
  const CHECKABLE = new Set(['toggle', 'chip', 'chipcheck', 'nav']);
  const RADIO = new Set(['chip', 'nav']);
  const ROLE = { toggle: 'switch', chip: 'radio', chipcheck: 'checkbox', nav: 'radio' };

  function create(type) {
    switch (type) {
      case 'glyph': return document.createElement('span');
      case 'image': {
        const img = document.createElement('img');
        img.alt = '';
        img.draggable = false;
        return img;
      }
      case 'textbox': {
        const input = document.createElement('input');
        input.type = 'text';
        input.spellcheck = false;
        input.autocomplete = 'off';
        return input;
      }
      case 'canvas': return document.createElementNS(SVG, 'svg');
      case 'path': return document.createElementNS(SVG, 'path');
      default:
        if (CONTROLS.has(type)) {
          const b = document.createElement('button');
          b.type = 'button';
          b.tabIndex = -1;  // controls never take keyboard focus
          if (ROLE[type]) b.setAttribute('role', ROLE[type]);
          if (type === 'toggle') {
            const track = document.createElement('span');
            track.className = 'vx-track';
            track.appendChild(document.createElement('span')).className = 'vx-knob';
            b.appendChild(track);
          }
          return b;
        }
        return document.createElement('div');
    }
  }

  function build(node, parent) {
    const n = {
      id: node.id, type: node.type, name: node.name || '', props: {},
      el: create(node.type), parent, label: null, glyph: null, hidden: false, disabled: false,
      canvas: parent && (parent.type === 'canvas' ? parent : parent.canvas) || null,
      pending: undefined, pendingTimer: 0, anim: null, fadeTo: null,
    };
    n.el.setAttribute('data-vid', String(n.id));
    if (n.name) n.el.id = n.name;
    if (n.type === 'canvas') {
      const defs = n.el.appendChild(document.createElementNS(SVG, 'defs'));
      const grad = defs.appendChild(document.createElementNS(SVG, 'linearGradient'));
      // User space, so that a flat line (an empty bounding box) still gets its colour.
      const attrs = { id: `vx-grad-${n.id}`, gradientUnits: 'userSpaceOnUse', x1: '0', y1: '0', x2: '100%', y2: '100%' };
      for (const [k, v] of Object.entries(attrs)) grad.setAttribute(k, v);
      for (const [offset, color] of [['0', '#FBBE24'], ['1', '#D97706']]) {
        const stop = grad.appendChild(document.createElementNS(SVG, 'stop'));
        stop.setAttribute('offset', offset);
        stop.setAttribute('stop-color', color);
      }
    }
    nodes.set(n.id, n);
    for (const [k, v] of Object.entries(node.props || {})) setProp(n, k, v);
    applyClasses(n);
    if (CHECKABLE.has(n.type)) showChecked(n);
    for (const child of node.children || []) insertChild(n, build(child, n).el, Infinity);
    return n;
  }

  // Children go before the element's own label: icons first, then text.
  function insertChild(parent, el, index) {
    parent.el.insertBefore(el, childEls(parent)[index] || parent.label || null);
  }

  // The element's children in tree order (labels, glyphs and svg defs are not children).
  function childEls(n) {
    return Array.from(n.el.children).filter((c) => c.hasAttribute('data-vid'));
  }

  function forget(el) {
    for (const e of [el, ...el.querySelectorAll('[data-vid]')]) {
      const id = Number(e.getAttribute('data-vid'));
      const n = nodes.get(id);
      if (n) clearTimeout(n.pendingTimer);
      nodes.delete(id);
    }
  }

  // ---- Properties --------------------------------------------------------------------

  const UNITLESS = new Set(['opacity', 'z-index', 'flex', 'flex-grow', 'flex-shrink', 'order', 'font-weight', 'zoom']);
  const PATH_ATTRS = { d: 'd', stroke: 'stroke', 'stroke-width': 'stroke-width', fill: 'fill',
    linecap: 'stroke-linecap', linejoin: 'stroke-linejoin' };

  function applyClasses(n) {
    const parts = [`vx-${n.type}`];
    if (!n.parent) parts.push('vx-root');
    else if (!n.parent.parent) parts.push('vx-top');  // a top-level window
    if (n.props.cls) parts.push(String(n.props.cls));
    if (n.hidden) parts.push('vx-hidden');
    if (n.disabled) parts.push('vx-disabled');
    if (n.props.cursor === 'wait') parts.push('vx-busy');
    n.el.setAttribute('class', parts.join(' '));
  }

  function labelOf(n) {
    if (!n.label) {
      n.label = n.el.appendChild(document.createElement('span'));
      n.label.className = 'vx-label';
    }
    return n.label;
  }

  // Our own files are asked for from the root ("logo.svg" -> "/logo.svg"); the session cookie
  // goes with them. data: and other URLs pass.
  function resolveSrc(src) {
    const s = String(src ?? '');
    if (!s || s.startsWith('//') || /^[a-z][a-z0-9+.-]*:/i.test(s)) return s;
    return s.startsWith('/') ? s : `/${s}`;
  }

  function paint(n, value) {
    if (value === 'AccentGrad' && n.canvas) return `url(#vx-grad-${n.canvas.id})`;
    return value == null ? '' : String(value);
  }

  // Shorthands first ("background" before "-webkit-background-clip"): the application's JSON
  // objects arrive with sorted keys, and a shorthand set last would reset its longhands.
  const depth = (prop) => prop.replace(/^-[a-z]+-/, '').split('-').length;

  // The value is the element's whole declaration set: what it no longer holds goes away.
  function setCss(n, decls) {
    const next = decls && typeof decls === 'object' ? decls : {};
    for (const prop of Object.keys(n.props.css || {}))
      if (!(prop in next)) n.el.style.removeProperty(prop);
    n.props.css = { ...next };
    const entries = Object.entries(next).sort((a, b) => depth(a[0]) - depth(b[0]));
    for (const [prop, value] of entries) {
      if (value === null || value === undefined) n.el.style.removeProperty(prop);
      else if (typeof value === 'number' && !UNITLESS.has(prop) && !prop.startsWith('--')) n.el.style.setProperty(prop, `${value}px`);
      else n.el.style.setProperty(prop, String(value));
    }
  }

  function setProp(n, key, value) {
    if (key === 'css') {
      setCss(n, value);
      return;
    }
    n.props[key] = value;
    const el = n.el;
    if (n.type === 'path' && key in PATH_ATTRS) {
      if (value == null) el.removeAttribute(PATH_ATTRS[key]);
      else el.setAttribute(PATH_ATTRS[key], key === 'stroke' || key === 'fill' ? paint(n, value) : String(value));
      return;
    }
    switch (key) {
      case 'text':
        if (n.type === 'text') el.textContent = value == null ? '' : String(value);
        else if (n.type === 'textbox') setValue(n, value);
        else labelOf(n).textContent = value == null ? '' : String(value);
        break;
      case 'glyph':
        if (n.type === 'glyph') {
          el.textContent = glyphText(value);
        } else {
          if (!n.glyph) {
            n.glyph = document.createElement('span');
            n.glyph.className = 'vx-glyph';
            el.insertBefore(n.glyph, n.type === 'toggle' ? null : el.firstChild);
          }
          n.glyph.textContent = glyphText(value);
        }
        break;
      case 'cls': applyClasses(n); break;
      case 'visible':
        n.hidden = value === false;
        applyClasses(n);
        queueFit();
        showTitle();
        break;
      case 'title': showTitle(); break;
      case 'enabled':
        n.disabled = value === false;
        if ('disabled' in el) el.disabled = n.disabled;
        applyClasses(n);
        break;
      case 'opacity':
        if (n.anim && n.fadeTo === value) break;  // a fade is already heading there
        stopFade(n);
        if (value == null) el.style.removeProperty('opacity');
        else el.style.opacity = String(value);
        break;
      case 'checked':
        clearTimeout(n.pendingTimer);
        n.pending = undefined;
        showChecked(n);
        break;
      case 'src': if (n.type === 'image') el.src = resolveSrc(value); break;
      case 'placeholder': if (n.type === 'textbox') el.placeholder = value == null ? '' : String(value); break;
      case 'value': if (n.type === 'textbox') setValue(n, value); break;
      case 'cursor':  // "wait" wins over the hand of every control inside, as a busy window does
        el.style.cursor = value == null ? '' : String(value);
        applyClasses(n);
        break;
      case 'tooltip': if (value == null) el.removeAttribute('title'); else el.title = String(value); break;
      case 'report_size': if (value === true) watchSize(n); break;
      default: break;  // kept in props only (clickable, tag and the like)
    }
  }

  // Elements whose drawing the application computes in pixels (the sparkline) are told their
  // laid-out width. A hidden one (width 0) keeps the last width it had.
  const sizeWatch = typeof ResizeObserver === 'function' ? new ResizeObserver((entries) => {
    for (const entry of entries) {
      const n = nodeOf(entry.target);
      const w = Math.round(entry.contentRect.width);
      if (!n || w <= 0 || n.sentWidth === w) continue;
      n.sentWidth = w;
      send({ id: n.id, ev: 'size', value: w });
    }
  }) : null;

  function watchSize(n) {
    if (sizeWatch && !n.watched) {
      n.watched = true;
      sizeWatch.observe(n.el);
    }
  }

  // The browser window takes the title of the top-level window on screen (Main over Splash).
  function showTitle() {
    if (!rootNode) return;
    for (const el of childEls(rootNode).reverse()) {
      const n = nodes.get(Number(el.getAttribute('data-vid')));
      if (n && !n.hidden && n.props.title) { document.title = String(n.props.title); return; }
    }
  }

  function setValue(n, value) {
    const v = value == null ? '' : String(value);
    if (n.el.value !== v) n.el.value = v;  // unchanged text keeps the caret where it is
  }

  function showChecked(n) {
    if (!CHECKABLE.has(n.type)) return;
    const on = n.pending !== undefined ? n.pending : n.props.checked === true;
    n.el.setAttribute('aria-checked', on ? 'true' : 'false');
  }

  function stopFade(n) {
    if (n.anim) n.anim.cancel();
    n.anim = null;
    n.fadeTo = null;
  }

  function fade(n, from, to, ms) {
    stopFade(n);
    n.props.opacity = to;
    n.el.style.opacity = String(to);  // the end value holds once the animation is done
    if (!(ms > 0) || typeof n.el.animate !== 'function') return;
    const anim = n.el.animate([{ opacity: from }, { opacity: to }], { duration: ms, easing: 'linear' });
    n.anim = anim;
    n.fadeTo = to;
    anim.onfinish = () => { if (n.anim === anim) { n.anim = null; n.fadeTo = null; } };
  }

  // ---- Operations --------------------------------------------------------------------

  // The root fills the page; its children are the top-level windows (Splash, Main).
  function applySnapshot(root) {
    for (const n of nodes.values()) clearTimeout(n.pendingTimer);
    nodes.clear();
    rootNode = build(root, null);
    stage.replaceChildren(rootNode.el);
    showTitle();
    showReconnecting(false);
    queueFit();
  }

  function applyOp(op) {
    switch (op.op) {
      case 'snapshot': applySnapshot(op.root); break;
      case 'set': {
        const n = nodes.get(op.id);
        if (n) setProp(n, op.prop, op.value);
        break;
      }
      case 'insert': {
        const parent = nodes.get(op.parent);
        if (!parent) break;
        insertChild(parent, build(op.node, parent).el, op.index);
        if (parent === rootNode) queueFit();
        break;
      }
      case 'remove': {
        const n = nodes.get(op.id);
        if (!n || n === rootNode) break;
        forget(n.el);
        n.el.remove();
        break;
      }
      case 'fade': {
        const n = nodes.get(op.id);
        if (n) fade(n, Number(op.from), Number(op.to), Number(op.ms));
        break;
      }
      case 'scrolltop': {
        const n = nodes.get(op.id);
        if (n) n.el.scrollTop = 0;
        break;
      }
      case 'activate': window.focus(); break;
      case 'close': closePage(op.note); break;
      default: break;
    }
  }

  function onFrame(text) {
    let msg;
    try {
      msg = JSON.parse(text);
    } catch (e) {
      console.warn('vexlo: unreadable frame', e);
      return;
    }
    for (const op of Array.isArray(msg) ? msg : [msg]) {
      if (ended) return;
      try {
        applyOp(op || {});
      } catch (e) {
        console.error('vexlo: cannot apply', op && op.op, e);
      }
    }
    checkRendered();
  }

  // "rendered" goes once, when the main window is on screen for the first time.
  function checkRendered() {
    if (renderedSent || !rootNode) return;
    const main = document.getElementById('Main');
    const n = main && nodes.get(Number(main.getAttribute('data-vid')));
    if (!n || n.parent !== rootNode || n.hidden) return;
    renderedSent = true;
    requestAnimationFrame(() => requestAnimationFrame(() => send({ ev: 'rendered' })));
  }

  // The application closed this window (it exited, or went on in the notification area).
  // A window the product opened holds one page in its history, so the page may close it;
  // where the browser refuses, the note says what happened.
  function closePage(text) {
    ended = true;
    if (ws) ws.close();
    if (sizeWatch) sizeWatch.disconnect();
    const note = document.createElement('div');
    note.className = 'vx-note';
    note.textContent = typeof text === 'string' && text ? text : 'Vexlo Tweaks has closed. You can close this window.';
    document.body.replaceChildren(note);
    try {
      window.close();
    } catch (e) {
      console.warn('vexlo: the window stays open', e);
    }
  }

  // ---- Fitting the fixed-size windows into the viewport -------------------------------

  function queueFit() {
    if (fitQueued) return;
    fitQueued = true;
    requestAnimationFrame(() => { fitQueued = false; fit(); });
  }

  function fit() {
    if (!rootNode) return;
    for (const el of childEls(rootNode)) {
      if (el.classList.contains('vx-hidden')) continue;
      const w = el.offsetWidth, h = el.offsetHeight;
      if (!w || !h) continue;
      const s = Math.min(1, window.innerWidth / w, window.innerHeight / h);
      el.style.left = `${Math.round((window.innerWidth - w * s) / 2)}px`;
      el.style.top = `${Math.round((window.innerHeight - h * s) / 2)}px`;
      el.style.transform = s < 1 ? `scale(${s})` : '';
    }
  }
  window.addEventListener('resize', queueFit);

  // ---- User input --------------------------------------------------------------------

  function send(msg) {
    if (ws && ws.readyState === WebSocket.OPEN) ws.send(JSON.stringify(msg));
  }

  function nodeOf(el) {
    return el && el.getAttribute ? nodes.get(Number(el.getAttribute('data-vid'))) : undefined;
  }

  // The nearest element, from the target outwards, that handles clicks.
  function clickTarget(target) {
    for (let el = target; el && el !== stage; el = el.parentNode) {
      const n = nodeOf(el);
      if (n && (CONTROLS.has(n.type) || n.props.clickable === true)) return n.disabled ? null : n;
    }
    return null;
  }

  stage.addEventListener('click', (e) => {
    const n = clickTarget(e.target);
    if (!n) return;
    if (!CHECKABLE.has(n.type)) {
      send({ id: n.id, ev: 'click', value: null });
      return;
    }
    const shown = n.el.getAttribute('aria-checked') === 'true';
    const next = RADIO.has(n.type) ? true : !shown;
    // Show the new position at once; the application answers with the real state. When it
    // keeps the old one it sends nothing, so fall back to the known state after a while.
    n.pending = next;
    showChecked(n);
    clearTimeout(n.pendingTimer);
    n.pendingTimer = setTimeout(() => { n.pending = undefined; showChecked(n); }, 2000);
    send({ id: n.id, ev: 'click', value: next });
  });

  stage.addEventListener('mouseup', (e) => {
    const n = clickTarget(e.target);
    // Which button went up: only the left one's release folds a group.
    if (n && n.props.clickable === true) send({ id: n.id, ev: 'mouseup', value: e.button });
  });

  // Buttons keep the focus where it was (in the search box, typically).
  stage.addEventListener('mousedown', (e) => {
    const n = clickTarget(e.target);
    if (n && CONTROLS.has(n.type)) e.preventDefault();
  });

  stage.addEventListener('input', (e) => {
    const n = nodeOf(e.target);
    if (n && n.type === 'textbox') {
      n.props.value = n.el.value;
      send({ id: n.id, ev: 'input', value: n.el.value });
    }
  });

  document.addEventListener('keydown', (e) => {
    if (e.key === 'Escape') {
      send({ ev: 'key', value: 'Escape' });
    } else if (e.ctrlKey && !e.altKey && (e.key === 'f' || e.key === 'F')) {
      e.preventDefault();  // not the browser's find bar
      const box = document.getElementById('SearchBox');
      if (box && box.focus) box.focus();
      send({ ev: 'key', value: 'Ctrl+F' });
    }
  });

  // ---- Connection --------------------------------------------------------------------

  let reconnectNote = null;
  function showReconnecting(on) {
    if (on && !reconnectNote) {
      reconnectNote = document.createElement('div');
      reconnectNote.id = 'vx-reconnect';
      reconnectNote.textContent = 'Reconnecting...';
      document.body.appendChild(reconnectNote);
    } else if (!on && reconnectNote) {
      reconnectNote.remove();
      reconnectNote = null;
    }
  }

  function connect() {
    if (ended) return;
    const sock = new WebSocket(`ws://${location.host}/ws`);
    ws = sock;
    sock.onopen = () => { retries = 0; };
    sock.onmessage = (e) => { if (ws === sock && typeof e.data === 'string') onFrame(e.data); };
    sock.onclose = () => {
      if (ws !== sock) return;
      ws = null;
      if (ended) return;
      showReconnecting(true);
      const delay = Math.min(5000, 250 * 2 ** retries++);
      setTimeout(connect, delay);
    };
  }

  const icon = document.getElementById('vx-icon');
  if (icon) icon.href = resolveSrc('/logo.svg');
  connect();
})();
