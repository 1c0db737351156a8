#!/usr/bin/env python3
# The web page in headless chromium: its canvas against walkers-render pixel for pixel, over HTTP
# and from file://, keys and taps, the address, resizes, a hidden tab, the notices and the console.
# Usage: page_test.py --site build/web/site --render build/release/walkers-render [CASE...]
import argparse
import base64
import contextlib
import functools
import http.server
import os
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

SITE = None
RENDER = None
SITE_FILES = {'index.html', 'engine.js', 'walkers.js', 'favicon.png'}

# The canvas as RGB bytes, base64: what the page shows, read back the way a script can.
READ_CANVAS = """
const canvas = document.getElementById('canvas');
if (canvas.width === 0 || canvas.height === 0) return '';
const rgba = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
const rgb = new Uint8Array(rgba.length / 4 * 3);
for (let i = 0, j = 0; i < rgba.length; i += 4) {
  rgb[j++] = rgba[i]; rgb[j++] = rgba[i + 1]; rgb[j++] = rgba[i + 2];
}
let text = '';
for (let i = 0; i < rgb.length; i += 32768) {
  text += String.fromCharCode.apply(null, rgb.subarray(i, i + 32768));
}
return btoa(text);
"""


@functools.lru_cache(maxsize=None)
def render(width, height, seed, ticks):
    """walkers-render's picture at this size, seed and tick, as RGB bytes."""
    frames = subprocess.run(
        [RENDER, '--size', f'{width}x{height}', '--seed', str(seed), '--ticks', str(ticks),
         '--every', str(max(ticks, 1)), '--frames', '-'],
        check=True, stdout=subprocess.PIPE, timeout=120).stdout
    return frames[-width * height * 3:]


def black(width, height):
    return bytes(width * height * 3)


def placed(picture, width, height, new_width, new_height):
    """`picture` (width x height) at the top left of a black new_width x new_height one."""
    rows = []
    for y in range(new_height):
        row = picture[y * width * 3:(y + 1) * width * 3][:new_width * 3] if y < height else b''
        rows.append(row + bytes(new_width * 3 - len(row)))
    return b''.join(rows)


def eventually(probe, what, timeout=60):
    """Polls `probe` until it returns something true; fails naming `what` and the last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f'not within {timeout} s: {what}')
        time.sleep(0.1)


class Server:
    """The site (or another folder) over HTTP on a free port of this machine, as any static server
    would give it."""

    class Quiet(http.server.SimpleHTTPRequestHandler):
        def log_message(self, *args):
            pass

    def __init__(self, directory=None):
        self.directory = directory or SITE

    def __enter__(self):
        handler = functools.partial(self.Quiet, directory=self.directory)
        self.httpd = http.server.ThreadingHTTPServer(('127.0.0.1', 0), handler)
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()
        return f'http://127.0.0.1:{self.httpd.server_address[1]}/index.html'

    def __exit__(self, *error):
        self.httpd.shutdown()
        self.httpd.server_close()


class Browser:
    """Headless chromium through chromedriver, with a fresh profile and a viewport of given size."""

    def __init__(self, width, height):
        self.profile = tempfile.TemporaryDirectory()
        options = webdriver.ChromeOptions()
        options.binary_location = '/usr/bin/chromium'
        for argument in ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic',
                         '--no-first-run', '--disable-background-networking',
                         '--disable-component-update', '--disable-sync',
                         '--user-data-dir=' + self.profile.name]:
            options.add_argument(argument)
        options.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
        self.driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
        self.resize(width, height)

    def close(self):
        self.driver.quit()
        self.profile.cleanup()

    def resize(self, width, height):
        self.driver.execute_cdp_cmd('Emulation.setDeviceMetricsOverride', {
            'width': width, 'height': height, 'deviceScaleFactor': 1, 'mobile': False})

    def open(self, url):
        self.driver.get('about:blank')  # a fresh load, not a change of address within the page
        self.driver.get(url)
        eventually(lambda: self.run('return window.walkers !== undefined'), 'the page started')

    def run(self, script):
        return self.driver.execute_script(script)

    def state(self):
        return self.run('return walkers.state()')

    def picture(self):
        return base64.b64decode(self.run(READ_CANVAS))

    def press(self, key):
        ActionChains(self.driver).send_keys(key).perform()

    def errors(self):
        return [entry['message'] for entry in self.driver.get_log('browser')
                if entry['level'] == 'SEVERE']


class PageTest(unittest.TestCase):
    size = (400, 300)

    def setUp(self):
        self.browser = Browser(*self.size)

    def tearDown(self):
        errors = self.browser.errors()
        self.browser.close()
        self.assertEqual(errors, [], 'console errors')

    def assertShows(self, expected, what):
        """Waits for the canvas to show `expected`, then says how far off it is if it never does."""
        try:
            eventually(lambda: self.browser.picture() == expected, what)
        except AssertionError:
            shown = self.browser.picture()
            wrong = sum(shown[i:i + 3] != expected[i:i + 3] for i in range(0, len(expected), 3))
            self.fail(f'{what}: {len(shown)} bytes shown for {len(expected)}, {wrong} pixels '
                      f'differ; state {self.browser.state()}')

    def assertHeldAt(self, url, width, height, seed, ticks):
        """Opens `url` (a pattern held at `ticks`) and checks it against walkers-render."""
        self.browser.resize(width, height)
        self.browser.open(url)
        eventually(lambda: self.browser.state()['ticks'] == ticks, f'tick {ticks} of seed {seed}')
        self.assertShows(render(width, height, seed, ticks), f'seed {seed} at {width}x{height}')
        self.assertTrue(self.browser.run('return location.hash')
                        == f'#seed={seed}&ticks={ticks}')


HELD = [(11, 510, 370, 3000), (18446744073709551557, 333, 201, 1500), (9007199254740993, 64, 48, 1)]


class PixelsOverHttp(PageTest):
    def test_held_patterns_equal_the_renderers(self):
        with Server() as url:
            for seed, width, height, ticks in HELD:
                self.assertHeldAt(f'{url}#seed={seed}&ticks={ticks}', width, height, seed, ticks)
            base = url.rsplit('/', 1)[0] + '/'
            loaded = self.browser.run(
                "return performance.getEntriesByType('resource').map(r => r.name)")
            self.assertTrue(all(name[len(base):] in SITE_FILES for name in loaded), loaded)


class PixelsFromFile(PageTest):
    def test_held_patterns_equal_the_renderers(self):
        url = 'file://' + os.path.abspath(os.path.join(SITE, 'index.html'))
        for seed, width, height, ticks in HELD[:2]:
            self.assertHeldAt(f'{url}#seed={seed}&ticks={ticks}', width, height, seed, ticks)


class KeysAndTaps(PageTest):
    def stopped_picture_is_the_renderers(self, seed):
        self.browser.press(Keys.ESCAPE)
        eventually(lambda: not self.browser.state()['running'], 'Esc stopped the timer')
        ticks = self.browser.state()['ticks']
        self.assertShows(render(*self.size, seed, ticks), f'seed {seed} stopped at {ticks}')
        time.sleep(0.3)
        self.assertEqual(self.browser.state()['ticks'], ticks)
        return ticks

    def test_enter_esc_and_a_tap(self):
        with Server() as url:
            self.browser.open(url + '#seed=5')
            eventually(lambda: self.browser.state()['ticks'] > 300, 'growing')
            self.stopped_picture_is_the_renderers(5)
            entries = self.browser.run('return history.length')
            seeds = {'5'}
            for press in range(2):
                self.browser.press(Keys.ENTER)
                state = eventually(lambda: (s := self.browser.state())['seed'] not in seeds | {''}
                                   and s, 'Enter started a fresh pattern')
                self.assertTrue(state['running'])
                self.assertEqual(self.browser.run('return location.hash'), '#seed=' + state['seed'])
                seeds.add(state['seed'])
                eventually(lambda: self.browser.state()['ticks'] > 50, 'growing again')
                self.stopped_picture_is_the_renderers(int(state['seed']))
            self.assertEqual(self.browser.run('return history.length'), entries)
            self.browser.driver.find_element(By.ID, 'canvas').click()
            eventually(lambda: (s := self.browser.state())['seed'] not in seeds | {''},
                       'a tap started a fresh pattern')


class Address(PageTest):
    def test_a_changed_address_starts_its_pattern_without_a_reload(self):
        with Server() as url:
            self.browser.open(url + '#seed=7&ticks=400')
            eventually(lambda: self.browser.state()['ticks'] == 400, 'the first pattern')
            self.browser.run('window.sameDocument = true; location.hash = "#seed=8&ticks=600"')
            eventually(lambda: self.browser.state()['seed'] == '8', 'the new seed')
            eventually(lambda: self.browser.state()['ticks'] == 600, 'the new pattern held')
            self.assertShows(render(*self.size, 8, 600), 'seed 8')
            self.assertTrue(self.browser.run('return window.sameDocument'))


class Resize(PageTest):
    size = (300, 200)

    def test_the_canvas_follows_the_viewport_and_keeps_its_paint(self):
        with Server() as url:
            self.browser.open(url + '#seed=3&ticks=800')
            eventually(lambda: self.browser.state()['ticks'] == 800, 'held')
            grown = render(300, 200, 3, 800)
            self.assertShows(grown, 'before resizing')
            for width, height in [(420, 260), (150, 90), (420, 260)]:
                self.browser.resize(width, height)
                eventually(lambda: (s := self.browser.state())['width'] == width
                           and s['height'] == height, f'the canvas at {width}x{height}')
                self.assertShows(placed(grown, 300, 200, width, height), f'at {width}x{height}')


class HiddenTab(PageTest):
    def test_a_hidden_tab_catches_up_at_most_100_ms(self):
        with Server() as url:
            self.browser.open(url + '#seed=9')
            eventually(lambda: self.browser.state()['ticks'] > 100, 'growing')
            before = self.browser.run(
                'window.shown = []; document.addEventListener("visibilitychange", () =>'
                ' shown.push(performance.now()));'
                ' return [walkers.state().ticks, performance.now()]')
            page = self.browser.driver.current_window_handle
            self.browser.driver.switch_to.new_window('tab')
            time.sleep(3)
            self.browser.driver.switch_to.window(page)
            self.browser.driver.execute_cdp_cmd('Page.bringToFront', {})
            eventually(lambda: len(self.browser.run('return shown')) == 2, 'hidden and shown')
            time.sleep(0.5)
            ticks, now, (hidden, shown) = self.browser.run(
                'return [walkers.state().ticks, performance.now(), shown]')
            ran = ticks - before[0]
            awake = (now - before[1]) - (shown - hidden)
            self.assertGreater(shown - hidden, 2000)
            # The visible milliseconds ran, plus at most 100 ms of catch-up (and the frame or two
            # the first reading may have lagged); a tab that caught up fully would run 2 s more.
            self.assertLessEqual(ran, awake + 100 + 50)
            self.assertGreater(ran, awake / 2)


def notice(browser):
    """The notice line's text while it is visible, else ''."""
    line = browser.driver.find_element(By.ID, 'notice')
    return line.text if line.is_displayed() else ''


@contextlib.contextmanager
def site_copy(changed):
    """A copy of the site in a folder of its own, with the files in `changed` (name: text, or None
    for none) in place of the site's."""
    with tempfile.TemporaryDirectory() as site:
        for name in SITE_FILES - set(changed):
            with open(os.path.join(SITE, name), 'rb') as source, \
                 open(os.path.join(site, name), 'wb') as copy:
                copy.write(source.read())
        for name, text in changed.items():
            if text is not None:
                with open(os.path.join(site, name), 'w', encoding='utf-8') as copy:
                    copy.write(text)
        yield site


def engine_text():
    with open(os.path.join(SITE, 'engine.js'), encoding='utf-8') as engine:
        return engine.read()


class Seeds(PageTest):
    def test_random_seeds_leading_zeros_and_refused_values(self):
        with Server() as url:
            seeds = set()
            for _ in range(3):
                self.browser.open(url)
                seeds.add(int(eventually(lambda: self.browser.state()['seed'], 'a seed')))
            # Drawn at random, not from a clock counting milliseconds in nanoseconds.
            self.assertEqual(len(seeds), 3)
            self.assertTrue(all(seed % 1000000 for seed in seeds), seeds)
            # walkers-render's rule: any number of leading zeros.
            self.assertHeldAt(f'{url}#seed={"0" * 30}11&ticks=3000', *self.size, 11, 3000)
            self.assertEqual(notice(self.browser), '')
            # A value the page cannot take is replaced, and the page says so.
            for asked, named in [('seed=abc', 'seed "abc"'),
                                 ('seed=18446744073709551616', 'seed "18446744073709551616"'),
                                 ('seed=5&ticks=-1', 'ticks "-1"'),
                                 ('seed=' + 'x' * 3000, 'seed "' + 'x' * 40 + '…"')]:
                self.browser.open(f'{url}#{asked}')
                said = eventually(lambda: notice(self.browser), f'{asked}: a notice')
                self.assertIn(named, said)
            self.browser.press(Keys.ENTER)
            eventually(lambda: notice(self.browser) == '', 'a fresh pattern clears the notice')


class TickZero(PageTest):
    def test_a_pattern_held_at_tick_0_names_its_seed_and_saves(self):
        with Server() as url:
            self.browser.open(url + '#seed=42&ticks=0')
            self.assertEqual(eventually(lambda: self.browser.state()['seed'], 'the seed'), '42')
            self.assertEqual(self.browser.run('return location.hash'), '#seed=42&ticks=0')
            self.assertEqual(self.browser.run("return document.getElementById('seed').textContent"),
                             '42')
            self.assertShows(black(*self.size), 'black at tick 0')
            # The download the Save PNG key starts, caught before it leaves the page.
            self.browser.run(
                'window.saved = []; HTMLAnchorElement.prototype.click = function () {'
                ' fetch(this.href).then((r) => r.arrayBuffer())'
                '.then((b) => saved.push([this.download, b.byteLength])); };')
            self.browser.press('s')
            saved = eventually(lambda: self.browser.run('return saved'), 'a saved picture')
            self.assertEqual(saved[0][0], 'walkers-42-0.png')
            self.assertGreater(saved[0][1], 0)


class BrokenEngine(PageTest):
    def tearDown(self):
        self.browser.close()  # the console errors are what a broken engine gives

    def test_an_engine_that_cannot_load_is_said_on_the_page(self):
        good = engine_text()
        self.assertEqual(good.count('AGFzbQ'), 1)  # the WebAssembly's magic number, in base64
        broken = {'missing': None, 'empty': '', 'truncated': good[:len(good) // 2],
                  'corrupt': good.replace('AGFzbQ', 'AGFzbR')}
        for kind, text in broken.items():
            with site_copy({'engine.js': text}) as site:
                self.browser.driver.get('about:blank')
                self.browser.driver.get('file://' + os.path.join(site, 'index.html'))
                said = eventually(lambda: notice(self.browser), f'{kind} engine: a notice')
                self.assertIn('could not load its engine', said)


# Appended to engine.js: the engine loads, but its step traps after STEPS good ones, as
# WebAssembly does at an `unreachable` (a module of one function that is just that). The step
# stays the trapping one whatever the module later sets it to.
TRAPPING_STEP = """
(() => {
  const load = createWalkers;
  const trap = new WebAssembly.Instance(new WebAssembly.Module(new Uint8Array([
    0, 97, 115, 109, 1, 0, 0, 0, 1, 4, 1, 96, 0, 0, 3, 2, 1, 0, 7, 5, 1, 1, 102, 0, 0,
    10, 5, 1, 3, 0, 0, 11]))).exports.f;
  createWalkers = (options) => load(options).then((engine) => {
    const good = engine._walkers_step;
    let steps = 0;
    const step = () => (++steps > STEPS ? trap() : good());
    Object.defineProperty(engine, '_walkers_step', {get: () => step, set: () => {}});
    return engine;
  });
})();
"""

# The downloads the page starts, caught before they leave it: [name, bytes] each.
CATCH_DOWNLOADS = """
window.saved = [];
HTMLAnchorElement.prototype.click = function () {
  fetch(this.href).then((r) => r.arrayBuffer())
    .then((b) => saved.push([this.download, b.byteLength]));
};
"""

# The notice line's text while it is not hidden, else '' (in a frame too small to show it).
NOTICE_TEXT = "const line = document.getElementById('notice');" \
    " return line.hidden ? '' : line.textContent;"


class Notices(PageTest):
    """What the page cannot do is said in the line at its top, never only in the console."""

    def test_what_the_address_holds_and_the_page_does_not_take_is_said(self):
        with Server() as url:
            many = '&'.join(f'x{i}=1' for i in range(1000))
            for asked, named in [('SEED=5', ['"SEED=5"']), ('%%%', ['"%%%"']),
                                 ('seed=5&colour=red', ['"colour=red"']),
                                 ('seed=5&seed=6', ['"seed=6"']),
                                 ('ticks=10&seed=abc&ticks=x', ['seed "abc"', '"ticks=x"']),
                                 (many, ['"x0=1", "x1=1", "x2=1" and 997 more'])]:
                self.browser.open(f'{url}#{asked}')
                said = eventually(lambda: notice(self.browser), f'{asked[:20]}: a notice')
                for name in named:
                    self.assertIn(name, said)
                self.assertTrue(self.browser.state()['running'])
            # Taken whole: no notice, and a changed address with something more says that.
            self.browser.open(f'{url}#seed=8&ticks=600')
            eventually(lambda: self.browser.state()['ticks'] == 600, 'held at 600')
            self.assertEqual(notice(self.browser), '')
            self.browser.run('location.hash = "#seed=8&ticks=600&colour=red"')
            said = eventually(lambda: notice(self.browser), 'a changed address: a notice')
            self.assertIn('"colour=red"', said)
            self.assertEqual(self.browser.run('return location.hash'), '#seed=8&ticks=600')
            self.assertShows(render(*self.size, 8, 600), 'seed 8 kept')

    def test_a_picture_that_cannot_be_saved_is_said(self):
        frame = ('<!DOCTYPE html>\n<title>walkers in a frame of no width</title>\n'
                 '<link rel="icon" href="favicon.png">\n'
                 '<iframe id="page" src="index.html#seed=5&amp;ticks=10" '
                 'style="width: 0; height: 200px; border: 0"></iframe>\n')
        with site_copy({'frame.html': frame}) as site, Server(site) as url:
            driver = self.browser.driver
            driver.get(url.rsplit('/', 1)[0] + '/frame.html')
            driver.switch_to.frame(driver.find_element(By.ID, 'page'))
            eventually(lambda: self.browser.run('return window.walkers !== undefined'
                                                ' && walkers.state().ticks === 10'), 'held at 10')
            state = self.browser.state()
            self.assertEqual(state['width'], 0)
            self.browser.run(CATCH_DOWNLOADS + "document.getElementById('save').click();")
            said = eventually(lambda: self.browser.run(NOTICE_TEXT), 'no width: a notice')
            self.assertIn('walkers-5-10.png could not be saved', said)
            self.assertIn(f"{state['width']}×{state['height']}", said)
            self.assertEqual(self.browser.run('return saved'), [])
            driver.switch_to.default_content()
        with Server() as url:
            self.browser.resize(20000, 20000)
            self.browser.open(url + '#seed=5&ticks=10')
            eventually(lambda: self.browser.state()['width'] == 20000, 'a canvas of 20000²')
            self.browser.run(CATCH_DOWNLOADS)
            self.browser.press('s')
            said = eventually(lambda: notice(self.browser), '20000²: a notice')
            self.assertIn('walkers-5-10.png could not be saved', said)
            self.assertIn('20000×20000', said)
            self.assertEqual(self.browser.run('return saved'), [])
            # A picture that can be saved again is, and the line clears.
            self.browser.resize(*self.size)
            eventually(lambda: self.browser.state()['width'] == self.size[0], 'back to 400')
            self.browser.press('s')
            saved = eventually(lambda: self.browser.run('return saved'), 'a saved picture')
            self.assertEqual(saved[0][0], 'walkers-5-10.png')
            eventually(lambda: notice(self.browser) == '', 'a saved picture clears the notice')

    def test_an_engine_that_fails_while_running_is_said(self):
        for steps in [0, 60]:
            with self.subTest(steps=steps):
                self.trapping_step_is_said(steps)

    def trapping_step_is_said(self, steps):
        trapping = TRAPPING_STEP.replace('STEPS', str(steps))
        with site_copy({'engine.js': engine_text() + trapping}) as site, Server(site) as url:
            self.browser.open(url + '#seed=5')
            said = eventually(lambda: notice(self.browser), 'a trapping step: a notice')
            self.assertIn('engine failed while running', said)
            self.assertIn('RuntimeError: unreachable', said)
            state = self.browser.state()
            self.assertFalse(state['running'])
            if steps == 0:
                self.assertEqual(state['ticks'], 0)  # it never drew
            else:
                self.assertGreater(state['ticks'], 0)
                self.assertShows(render(*self.size, 5, state['ticks']), 'the picture it stopped at')
            # The page calls the engine no more: Enter, New pattern or a new address start nothing.
            self.browser.press(Keys.ENTER)
            self.browser.run("document.getElementById('fresh').click()")
            self.browser.run('location.hash = "#seed=6"')
            time.sleep(0.5)
            self.assertEqual(notice(self.browser), said)
            errors = self.browser.errors()  # read once: tearDown finds none after these
            self.assertEqual(len(errors), 1, errors)
            self.assertIn('RuntimeError: unreachable', errors[0])


class Site(unittest.TestCase):
    def test_the_site_is_small_self_contained_installed_and_has_the_projects_icon(self):
        self.assertEqual(set(os.listdir(SITE)), SITE_FILES)
        size = sum(os.path.getsize(os.path.join(SITE, name)) for name in SITE_FILES)
        self.assertLessEqual(size, 150 * 1024)
        icon = subprocess.run(
            [RENDER, '--size', '32x32', '--ticks', '75', '--seed', '11', '-o', '-'],
            check=True, stdout=subprocess.PIPE, timeout=60).stdout
        with open(os.path.join(SITE, 'favicon.png'), 'rb') as favicon:
            self.assertEqual(favicon.read(), icon)
        with tempfile.TemporaryDirectory() as prefix:
            subprocess.run(['cmake', '--install', os.path.dirname(os.path.abspath(SITE)),
                            '--prefix', prefix], check=True, stdout=subprocess.DEVNULL, timeout=60)
            installed = os.path.join(prefix, 'share', 'walkers', 'web')
            self.assertEqual(set(os.listdir(installed)), SITE_FILES)
        with open(os.path.join(SITE, 'index.html'), encoding='utf-8') as page:
            text = page.read()
        self.assertNotIn('http:', text)
        self.assertNotIn('https:', text)


if __name__ == '__main__':
    parser = argparse.ArgumentParser()
    parser.add_argument('--site', required=True)
    parser.add_argument('--render', required=True)
    arguments, rest = parser.parse_known_args()
    SITE, RENDER = arguments.site, arguments.render
    unittest.main(argv=[sys.argv[0], '-v'] + rest)
