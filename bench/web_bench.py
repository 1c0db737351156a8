#!/usr/bin/python3
# The web page's figures in one chromium run: the engine's cost per walker step in WebAssembly
# against the native build, the page's steady CPU at 510x370 and 1920x1080, the time to the first
# frame and the site's size. Build first: the release and web presets, and in the web build
# `cmake --build --preset web --target walkers_step_cost`.
# Usage: bench/web_bench.py [SECONDS]; bench/web_bench.py --screenshot docs/web.png makes the
# README's picture (seed 11 at tick 8000, 640x400, the overlay shown).
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'web'))
import page_test  # noqa: E402  (the tests' browser and server)
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')
SITE = os.path.join(ROOT, 'build', 'web', 'site')
STEP_COST_JS = os.path.join(ROOT, 'build', 'web', 'bench', 'step_cost.js')
STEP_COST_NATIVE = os.path.join(ROOT, 'build', 'release', 'bench', 'step_cost')
TICKS = os.sysconf('SC_CLK_TCK')


def descendants(pid):
    """Every process below `pid`, from /proc."""
    children = {}
    for entry in os.listdir('/proc'):
        if entry.isdigit():
            try:
                with open(f'/proc/{entry}/stat') as stat:
                    parent = int(stat.read().rsplit(')', 1)[1].split()[1])
            except OSError:
                continue
            children.setdefault(parent, []).append(int(entry))
    found, todo = [], [pid]
    while todo:
        for child in children.get(todo.pop(), []):
            found.append(child)
            todo.append(child)
    return found


def cpu_seconds(pids):
    total = 0
    for pid in pids:
        try:
            with open(f'/proc/{pid}/stat') as stat:
                fields = stat.read().rsplit(')', 1)[1].split()
            total += int(fields[11]) + int(fields[12])  # utime, stime
        except OSError:
            pass
    return total / TICKS


# Times every animation-frame callback: the page's own work (its script and WebAssembly).
TIME_FRAMES = """window.busyMs = 0;
const request = window.requestAnimationFrame.bind(window);
window.requestAnimationFrame = (callback) => request((time) => {
  const start = performance.now(); callback(time); busyMs += performance.now() - start; });"""


def steady_cpu(browser, url, seconds):
    """% of one core that chromium (every process of it) spends on `url` after 2 s of settling,
    and the % of its time the page's animation-frame callbacks took."""
    if url == 'about:blank':
        browser.driver.get(url)
    else:
        browser.open(url)
    time.sleep(2)
    pids = descendants(browser.driver.service.process.pid)
    read = 'return [window.busyMs || 0, performance.now()]'
    busy, now = browser.run(read)
    before, start = cpu_seconds(pids), time.monotonic()
    time.sleep(seconds)
    cpu = 100 * (cpu_seconds(pids) - before) / (time.monotonic() - start)
    busy_after, now_after = browser.run(read)
    return cpu, 100 * (busy_after - busy) / (now_after - now)


# A canvas of the same size that changes one pixel on every animation frame: what chromium spends
# on any canvas that moves, whatever draws on it.
FLOOR_PAGE = """<!DOCTYPE html><title>floor</title>
<style>html, body { margin: 0; overflow: hidden; }</style><canvas id="c"></canvas><script>
const c = document.getElementById('c'); c.width = innerWidth; c.height = innerHeight;
const g = c.getContext('2d', {alpha: false}); const p = g.createImageData(1, 1); let n = 0;
window.walkers = {};
(function frame() { p.data[0] = n++ & 255; p.data[3] = 255; g.putImageData(p, 0, 0);
  requestAnimationFrame(frame); })();
</script>"""


def step_costs(browser):
    """ns per walker step in the best round: WebAssembly in the browser, then natively, three
    times each, alternately."""
    page = os.path.join(tempfile.mkdtemp(), 'step_cost.html')
    with open(page, 'w') as html:
        html.write(f'<!DOCTYPE html><title>step cost</title><script src="file://{STEP_COST_JS}">'
                   '</script><script>createStepCost().then(m => { window.engine = m; });</script>')
    browser.open_plain('file://' + page)
    wasm, native = [], []
    for _ in range(3):
        wasm.append(browser.driver.execute_script('return engine._walkers_step_cost(200)'))
        native.append(float(subprocess.run([STEP_COST_NATIVE, '200'], check=True, text=True,
                                           stdout=subprocess.PIPE).stdout))
    return wasm, native


class Browser(page_test.Browser):
    def open_plain(self, url):
        self.driver.get(url)
        page_test.eventually(lambda: self.run('return window.engine !== undefined'), 'loaded')


def first_frame_ms(browser, url):
    browser.open(url)
    return page_test.eventually(lambda: browser.run(
        "const m = performance.getEntriesByName('walkers-first-frame');"
        "return m.length ? m[0].startTime : null"), 'the first frame')


def screenshot(path):
    browser = Browser(640, 400)
    try:
        with page_test.Server() as url:
            browser.open(url + '#seed=11&ticks=8000')
            page_test.eventually(lambda: browser.state()['ticks'] == 8000, 'tick 8000')
            ActionChains(browser.driver).move_by_offset(100, 100).perform()
            time.sleep(1)  # the overlay fades in
            browser.driver.save_screenshot(path)
    finally:
        browser.close()


def main():
    page_test.SITE = SITE
    if len(sys.argv) == 3 and sys.argv[1] == '--screenshot':
        screenshot(sys.argv[2])
        return
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 10
    size = sum(os.path.getsize(os.path.join(SITE, name)) for name in os.listdir(SITE))
    print(f'site: {size} bytes ({size / 1024:.1f} KiB) in {len(os.listdir(SITE))} files')
    browser = Browser(510, 370)
    browser.driver.execute_cdp_cmd('Page.addScriptToEvaluateOnNewDocument', {'source': TIME_FRAMES})
    try:
        wasm, native = step_costs(browser)
        print('engine, ns per walker step: WebAssembly ' + ' '.join(f'{w:.2f}' for w in wasm)
              + ', native ' + ' '.join(f'{n:.2f}' for n in native)
              + f'; WebAssembly at {min(native) / min(wasm):.2f} of native speed (best against'
              ' best)')
        floor_url = 'file://' + os.path.join(tempfile.mkdtemp(), 'floor.html')
        with open(floor_url[len('file://'):], 'w') as floor_page:
            floor_page.write(FLOOR_PAGE)
        with page_test.Server() as url:
            firsts = [first_frame_ms(browser, url + '#seed=2389') for _ in range(5)]
            print(f'first frame after navigation: median {statistics.median(firsts):.0f} ms '
                  f'(of {", ".join(f"{f:.0f}" for f in firsts)})')
            for width, height in [(510, 370), (1920, 1080)]:
                browser.resize(width, height)
                idle, _ = steady_cpu(browser, 'about:blank', seconds)
                floor, _ = steady_cpu(browser, floor_url, seconds)
                busy, own = steady_cpu(browser, url + '#seed=2389', seconds)
                print(f'steady CPU at {width}x{height}: {busy:.1f} % of one core for chromium '
                      f'with the page, of which its frame callbacks {own:.1f} %; '
                      f'{floor:.1f} % with a canvas changing one pixel a frame, '
                      f'{idle:.1f} % with an empty page')
    finally:
        browser.close()


if __name__ == '__main__':
    main()
