// The page's script: steps the walkers engine on every animation frame, puts what changed on the
// canvas, and turns keys, taps, the pointer and the address into patterns and overlay actions.
'use strict';

// The line over the page: a sentence for each of what the page could not do, each on a line of
// its own: run its engine, take all of the address, save the picture.
const notices = {engine: '', address: '', save: ''};

function notice(part, text) {
  notices[part] = text;
  const line = document.getElementById('notice');
  line.textContent = Object.values(notices).filter((said) => said !== '').join('\n');
  line.hidden = line.textContent === '';
}

// A missing, empty or cut engine.js defines no createWalkers; a corrupt WebAssembly inside it
// fails to compile, which aborts the module and rejects the promise.
function engineMissing() {
  notice('engine', 'walkers could not load its engine (engine.js): reload the page, or build ' +
         'the site again.');
}

// An engine that loads but then fails in a call (its WebAssembly traps or aborts, or it lacks
// what the page calls) leaves its state unknown: the page calls it no more, and says so.
let engineFailed = false;

function engineFailure(error) {
  engineFailed = true;
  const what = String(error);
  notice('engine', "walkers' engine failed while running (" +
         (what.length > 120 ? what.slice(0, 120) + '…' : what) + '): reload the page.');
}

// `action` as a handler that does nothing once the engine has failed, and on a failure in it
// says so on the page and passes the error on (to the console).
function guarded(action) {
  return (...args) => {
    if (engineFailed) return undefined;
    try {
      return action(...args);
    } catch (error) {
      engineFailure(error);
      throw error;
    }
  };
}

if (typeof createWalkers !== 'function') {
  engineMissing();
} else {
  createWalkers({onAbort: engineMissing}).then(guarded(run), (error) => {
    engineMissing();
    throw error;  // for the console too
  });
}

function run(engine) {
  const canvas = document.getElementById('canvas');
  const context = canvas.getContext('2d', {alpha: false});
  const overlay = document.getElementById('overlay');
  const seedText = document.getElementById('seed');
  const tickText = document.getElementById('tick');
  const kMaxSeed = (1n << 64n) - 1n;
  const kOverlayShows = 2500;  // ms the overlay stays after the pointer last moved

  let running = false;
  let seed = '';       // the pattern's seed, in decimal
  let held = null;     // the tick the pattern is held at, from the address
  let frameRequested = false;
  let image = null;    // the engine's picture, as ImageData over its memory
  let overlayTimer = 0;
  let firstFrame = true;

  // A decimal number by walkers-render's rule: digits only (leading zeros are fine, however
  // many), at most `max`; null otherwise.
  function decimal(text, max) {
    if (!/^[0-9]+$/.test(text)) return null;
    const value = BigInt(text);
    return value <= max ? value : null;
  }

  // Shown in the notice: at most 40 characters of what the address held.
  function quoted(text) {
    const shown = [...text];
    return JSON.stringify(shown.length > 40 ? shown.slice(0, 40).join('') + '…' : text);
  }

  // `#seed=S` and `#seed=S&ticks=N` from the address, in walkers-render's ranges (S up to
  // 2^64 - 1, N up to 10^12). Anything else, and a value that cannot be taken, is left out, and
  // the notice says so.
  function fromAddress() {
    const fields = new URLSearchParams(location.hash.slice(1));
    const seedField = fields.get('seed');
    const ticksField = fields.get('ticks');
    const pinned = seedField === null ? null : decimal(seedField, kMaxSeed);
    const ticks = ticksField === null ? null : decimal(ticksField, 1000000000000n);
    const refused = [];
    // The fields are the address's non-empty &-separated parts, in order: each part beyond the
    // first seed and the first ticks is named as written.
    const parts = location.hash.slice(1).split('&').filter((part) => part !== '');
    const taken = new Set();
    const others = [];
    [...fields.keys()].forEach((name, i) => {
      if ((name === 'seed' || name === 'ticks') && !taken.has(name)) {
        taken.add(name);
      } else {
        others.push(parts[i] ?? name);
      }
    });
    if (seedField !== null && pinned === null) {
      refused.push('seed ' + quoted(seedField) + ' is not a whole number from 0 to ' + kMaxSeed +
                   ': a random seed is shown instead');
    }
    if (ticksField !== null && ticks === null) {
      refused.push('ticks ' + quoted(ticksField) +
                   ' is not a whole number from 0 to 1000000000000: the pattern is not held');
    }
    if (others.length > 0) {
      const more = others.length > 3 ? ' and ' + (others.length - 3) + ' more' : '';
      refused.push(others.slice(0, 3).map(quoted).join(', ') + more +
                   (others.length === 1 ? ' is' : ' are') +
                   ' left out: the address takes one seed=S and one ticks=N');
    }
    return {seed: pinned, ticks: ticks === null ? null : Number(ticks),
            refused: refused.length > 0 ? refused.join('; ') + '.' : ''};
  }

  // A seed of 64 random bits: the clock would give multiples of 10^6 (it counts milliseconds).
  function randomSeed() {
    const [high, low] = crypto.getRandomValues(new Uint32Array(2));
    return (BigInt(high) << 32n) | BigInt(low);
  }

  // The pattern's seed is always the page's, so it is known (and can be saved) before any tick.
  function start(pattern) {
    const value = pattern.seed === null ? randomSeed() : pattern.seed;
    engine._walkers_start(innerWidth, innerHeight, 1, Number(value >> 32n),
                          Number(value & 0xffffffffn), pattern.ticks === null ? -1 : pattern.ticks);
    running = true;
    held = pattern.ticks;
    notice('address', pattern.refused || '');
    notice('save', '');
    nameInAddress(value);
    requestFrame();
  }

  function fresh() { start({seed: null, ticks: null}); }

  function stop() {
    if (running) engine._walkers_key(27);
    requestFrame();
  }

  function requestFrame() {
    if (frameRequested) return;
    frameRequested = true;
    requestAnimationFrame(guarded(frame));
  }

  function frame() {
    frameRequested = false;
    if (running) running = engine._walkers_step() !== 0;
    draw();
    if (running) requestFrame();
  }

  // The address names the running pattern, replaced rather than pushed so Back is not flooded.
  function nameInAddress(value) {
    seed = value.toString();
    seedText.textContent = seed;
    const address = '#seed=' + seed + (held === null ? '' : '&ticks=' + held);
    if (location.hash !== address) history.replaceState(null, '', address);
  }

  // Puts the rectangles the engine changed on the canvas, resizing it first when its size changed.
  function draw() {
    const width = engine._walkers_width();
    const height = engine._walkers_height();
    if (canvas.width !== width || canvas.height !== height) {
      canvas.width = width;
      canvas.height = height;
      canvas.style.width = width + 'px';
      canvas.style.height = height + 'px';
    }
    const count = engine._walkers_changed_count();
    if (count > 0 && width > 0 && height > 0) {
      const pixels = engine._walkers_picture();
      const memory = engine.HEAPU8.buffer;
      if (!image || image.data.buffer !== memory || image.data.byteOffset !== pixels ||
          image.width !== width || image.height !== height) {
        const bytes = new Uint8ClampedArray(memory, pixels, width * height * 4);
        image = new ImageData(bytes, width, height);
      }
      const parts = new Int32Array(engine.HEAP32.buffer, engine._walkers_changed(), count * 4);
      for (let i = 0; i < parts.length; i += 4) {
        context.putImageData(image, 0, 0, parts[i], parts[i + 1], parts[i + 2] - parts[i],
                             parts[i + 3] - parts[i + 1]);
      }
    }
    engine._walkers_forget_changed();
    if (overlay.classList.contains('shown')) tickText.textContent = engine._walkers_ticks();
    if (firstFrame && count > 0) {
      firstFrame = false;
      performance.mark('walkers-first-frame');
    }
  }

  // Saves the picture as walkers-SEED-TICK.png: walkers-render --seed SEED --ticks TICK grows it.
  // A browser makes no PNG of an empty canvas, nor of one beyond its limits (20000 x 20000 is).
  function save() {
    if (seed === '') return;
    const name = 'walkers-' + seed + '-' + engine._walkers_ticks() + '.png';
    const size = canvas.width + '×' + canvas.height;
    canvas.toBlob((blob) => {
      if (blob === null) {
        notice('save', name + ' could not be saved: the browser made no PNG of the ' + size +
               ' picture.');
        return;
      }
      notice('save', '');
      const link = document.createElement('a');
      link.href = URL.createObjectURL(blob);
      link.download = name;
      link.click();
      setTimeout(() => URL.revokeObjectURL(link.href), 10000);
    }, 'image/png');
  }

  function fullscreen() {
    const change = document.fullscreenElement ? document.exitFullscreen()
                                              : document.documentElement.requestFullscreen();
    if (change) change.catch(() => {});  // refused (no user gesture, or not allowed): stay
  }

  function showOverlay() {
    overlay.classList.add('shown');
    tickText.textContent = engine._walkers_ticks();
    clearTimeout(overlayTimer);
    overlayTimer = setTimeout(() => {
      if (!overlay.contains(document.activeElement)) overlay.classList.remove('shown');
    }, kOverlayShows);
  }

  const keys = {Enter: fresh, Escape: stop, s: save, S: save, f: fullscreen, F: fullscreen};
  addEventListener('keydown', guarded((event) => {
    if (event.ctrlKey || event.metaKey || event.altKey || event.repeat) return;
    const onButton = event.target instanceof HTMLButtonElement;
    if (onButton && (event.key === 'Enter' || event.key === ' ')) return;  // the button's own
    const action = keys[event.key];
    if (!action) return;
    event.preventDefault();
    action();
  }));
  canvas.addEventListener('click', guarded(fresh));
  addEventListener('pointermove', guarded(showOverlay));
  addEventListener('pointerdown', guarded(showOverlay));
  overlay.addEventListener('focusin', guarded(showOverlay));
  document.getElementById('fresh').addEventListener('click', guarded(fresh));
  document.getElementById('save').addEventListener('click', guarded(save));
  document.getElementById('fullscreen').addEventListener('click', fullscreen);

  addEventListener('resize', guarded(() => {
    engine._walkers_resize(innerWidth, innerHeight);
    requestFrame();
  }));
  // An address naming the running pattern keeps it; what else it holds is said all the same.
  addEventListener('hashchange', guarded(() => {
    const wanted = fromAddress();
    if (wanted.seed !== null && wanted.seed.toString() === seed && wanted.ticks === held) {
      notice('address', wanted.refused);
      nameInAddress(wanted.seed);
      return;
    }
    start(wanted);
  }));
  canvas.addEventListener('contextrestored', guarded(() => {
    engine._walkers_expose();
    requestFrame();
  }));

  // For tests and benchmarks: what the page shows, read-only.
  window.walkers = {
    state: () => ({running: running && !engineFailed, seed, ticks: engine._walkers_ticks(),
                   width: canvas.width, height: canvas.height}),
  };

  start(fromAddress());
}
