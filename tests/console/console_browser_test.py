#!/usr/bin/python3
"""The field console in a real browser: headless Chromium, driven through
ChromeDriver by Selenium, against vkt-console and vkt-emulator, all inside
one private network namespace (run it with tools/netns-run).

Checks: the search lists the emulated cameras; a hostile camera's markup in
its model name and info text shows as text; the live view shows frames that
change and lets the stream go when left; a pushed picture appears on the
picture wall; a setting set in the form is what the emulator then holds (read
through its control channel); the SD browser downloads a stored picture byte
for byte, and its directory as a tar whose members are the card's pictures;
requests without the token, from a foreign origin or for a foreign
host are refused.

Exits 0 when every check passed, 1 when one failed (screenshots of the page
are kept in the artefacts folder then), 77 when Chromium, ChromeDriver or
Selenium is missing (the test is skipped, and says so).

With --screenshots DIR it instead stages the documentation's screenshots.
"""

import argparse
import hashlib
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tarfile
import tempfile
import time
import traceback
import urllib.error
import urllib.request

SKIP = 77
CHROMIUM = '/usr/bin/chromium'
CHROMEDRIVER = '/usr/bin/chromedriver'
CONTROL_PORT = 34998
CONSOLE_PORT = 8080
HOSTILE_MODEL = '<script>window.x=1</script>'
HOSTILE_NAME = '<img src=x onerror=window.y=1>'

CAMERAS = [
    'ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kq,port=30000,mask=255.255.255.0,gateway=127.0.0.1,name=gate-north',
    'ip=127.0.0.11,mac=00:1c:27:00:00:11,model=VKT-R6E0Kp,port=30000,mask=255.255.255.0,gateway=127.0.0.1,name=gate-south',
    'ip=127.0.0.12,mac=00:1c:27:00:00:12,model=VKT-N2F0Kp,port=30000,mask=255.255.255.0,gateway=127.0.0.1,name=toll-lane-3',
]
HOSTILE_CAMERA = ('ip=127.0.0.13,mac=00:1c:27:00:00:13,model=' + HOSTILE_MODEL +
                  ',port=30000,name=' + HOSTILE_NAME)


def wait_for(condition, seconds, what):
    """Polls `condition` until it returns something true, for at most `seconds`."""
    deadline = time.monotonic() + seconds
    last_error = None
    while time.monotonic() < deadline:
        try:
            value = condition()
            if value:
                return value
        except Exception as error:  # the page may be between two states
            last_error = error
        time.sleep(0.05)
    raise AssertionError('timed out waiting for ' + what + (': ' + repr(last_error) if last_error else ''))


def control(command):
    """One command on the emulator's control channel; its reply lines."""
    with socket.create_connection(('127.0.0.1', CONTROL_PORT), timeout=5) as connection:
        connection.sendall((command + '\n').encode())
        reply = b''
        multi_line = command.split()[0] == 'list' or (len(command.split()) > 2 and command.split()[2] == 'ls')
        while True:
            chunk = connection.recv(65536)
            if not chunk:
                break
            reply += chunk
            text = reply.decode(errors='replace')
            if text.startswith('error') and text.endswith('\n'):
                break
            if not multi_line and text.endswith('\n'):
                break
            if multi_line and text.endswith('\n.\n'):
                break
    text = reply.decode(errors='replace')
    if not text.startswith('ok'):
        raise AssertionError('emulator: ' + command + ' -> ' + text.strip())
    return text.splitlines()


def reply_field(line, key):
    for word in line.split():
        if word.startswith(key + '='):
            return word[len(key) + 1:]
    raise AssertionError('no ' + key + ' in ' + line)


class Processes:
    """The emulator and the console, stopped at the end whatever happens."""

    def __init__(self, work):
        self.work = work
        self.children = []

    def start(self, name, argv):
        out = open(os.path.join(self.work, name + '.out'), 'w+b')
        child = subprocess.Popen(argv, stdout=out, stderr=subprocess.STDOUT)
        self.children.append((name, child, out))
        return child, out

    def wait_line(self, name, prefix, seconds):
        _, child, out = next(c for c in self.children if c[0] == name)

        def line():
            if child.poll() is not None:
                raise RuntimeError(name + ' exited with ' + str(child.returncode))
            out.seek(0)
            for text in out.read().decode(errors='replace').splitlines():
                if text.startswith(prefix):
                    return text
            return None
        return wait_for(line, seconds, name + ' to print ' + prefix)

    def output(self, name):
        _, _, out = next(c for c in self.children if c[0] == name)
        out.seek(0)
        return out.read().decode(errors='replace')

    def stop(self, name, seconds=10):
        """SIGINT, then the exit status (None when it had to be killed)."""
        _, child, _ = next(c for c in self.children if c[0] == name)
        if child.poll() is None:
            child.send_signal(signal.SIGINT)
            try:
                child.wait(seconds)
            except subprocess.TimeoutExpired:
                child.kill()
                child.wait(5)
                return None
        return child.returncode

    def stop_all(self):
        for name, child, out in reversed(self.children):
            if child.poll() is None:
                self.stop(name, 5)
            out.close()


def make_browser(downloads):
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for argument in ('--headless=new', '--no-sandbox', '--disable-dev-shm-usage', '--disable-gpu',
                     '--window-size=1280,900', '--no-first-run', '--disable-extensions',
                     '--disable-background-networking', '--disable-component-update', '--disable-sync',
                     '--metrics-recording-only', '--disable-default-apps', '--force-device-scale-factor=1'):
        options.add_argument(argument)
    options.add_experimental_option('prefs', {
        'download.default_directory': downloads,
        'download.prompt_for_download': False,
        'safebrowsing.enabled': False,
    })
    service = Service(CHROMEDRIVER)
    driver = webdriver.Chrome(service=service, options=options)
    driver.set_page_load_timeout(30)
    driver.set_script_timeout(20)
    driver.execute_cdp_cmd('Browser.setDownloadBehavior', {'behavior': 'allow', 'downloadPath': downloads})
    return driver


class ConsolePage:
    """The console's page as a user sees it, through Selenium."""

    def __init__(self, driver, url):
        from selenium.webdriver.common.by import By
        self.by = By
        self.driver = driver
        self.url = url

    def find(self, css):
        return self.driver.find_element(self.by.CSS_SELECTOR, css)

    def find_all(self, css):
        return self.driver.find_elements(self.by.CSS_SELECTOR, css)

    def tab(self, name):
        self.find('#tabs button[data-tab="' + name + '"]').click()
        wait_for(lambda: self.find('#tab-' + name).is_displayed(), 5, 'the ' + name + ' tab')

    def pick_camera(self, ip):
        from selenium.webdriver.support.ui import Select
        select = Select(self.find('#camera-select'))
        option = wait_for(lambda: next((o for o in select.options if o.text.startswith(ip + ' ')), None), 10,
                          'camera ' + ip + ' in the picker')
        if not option.is_selected():
            select.select_by_visible_text(option.text)

    def camera_rows(self):
        rows = {}
        for row in self.find_all('#camera-table tbody tr'):
            cells = row.find_elements(self.by.TAG_NAME, 'td')
            rows[cells[0].text] = [cell.text for cell in cells]
        return rows

    def wait_status(self, css, seconds=10):
        """Waits until the status element has settled text (not "…ing…")."""
        def settled():
            node = self.find(css)
            text = node.text
            return (text, 'error' in (node.get_attribute('class') or '')) if text and not text.endswith('…') else None
        return wait_for(settled, seconds, 'status ' + css)

    def press_setting(self, block, action):
        """Presses a setting's button and waits for its status: (text, error)."""
        self.find(block + 'button[data-action="' + action + '"]').click()
        return self.wait_status(block + '.buttons .status')

    def image_digest(self, css):
        """A digest of the pixels an <img> shows now (same origin, so readable)."""
        return self.driver.execute_script('''
            const image = document.querySelector(arguments[0]);
            if (!image || !image.naturalWidth) return null;
            const canvas = document.createElement('canvas');
            canvas.width = image.naturalWidth; canvas.height = image.naturalHeight;
            const context = canvas.getContext('2d');
            context.drawImage(image, 0, 0);
            const data = context.getImageData(0, 0, canvas.width, canvas.height).data;
            let hash = 0;
            for (let i = 0; i < data.length; i += 7) hash = (hash * 31 + data[i]) >>> 0;
            return canvas.width + 'x' + canvas.height + ':' + hash;''', css)


def http_status(url, headers):
    request = urllib.request.Request(url, headers=headers)
    try:
        with urllib.request.urlopen(request, timeout=10) as response:
            return response.status
    except urllib.error.HTTPError as error:
        return error.code


class Checks:
    def __init__(self, page, artefacts, token, base):
        self.page = page
        self.artefacts = artefacts
        self.token = token
        self.base = base
        self.failures = []
        self.count = 0

    def run(self, name, check):
        self.count += 1
        started = time.monotonic()
        try:
            check()
            print('ok: %s (%.1f s)' % (name, time.monotonic() - started), flush=True)
        except Exception:
            self.failures.append(name)
            print('FAILED: ' + name, flush=True)
            traceback.print_exc()
            self.keep_screenshots(name)

    def keep_screenshots(self, name):
        os.makedirs(self.artefacts, exist_ok=True)
        stem = os.path.join(self.artefacts, name.replace(' ', '_'))
        try:
            self.page.driver.save_screenshot(stem + '.png')
            # And each page, as the user would have seen it.
            for tab in ('cameras', 'live', 'settings', 'sd'):
                self.page.tab(tab)
                self.page.driver.save_screenshot(stem + '-' + tab + '.png')
            print('  screenshots kept in ' + self.artefacts, flush=True)
        except Exception as error:
            print('  no screenshot: ' + repr(error), flush=True)

    # ----------------------------------------------------------- the checks

    def search_lists_cameras(self):
        page = self.page
        page.tab('cameras')
        rows = wait_for(lambda: (lambda r: r if len(r) == 4 else None)(page.camera_rows()), 20,
                        'four cameras in the table')
        for camera in CAMERAS:
            ip = camera.split(',')[0][3:]
            name = camera.split('name=')[1]
            assert ip in rows, ip + ' is not listed: ' + repr(rows)
            assert rows[ip][4] == name, 'the name of ' + ip + ' reads ' + repr(rows[ip][4])
            assert rows[ip][7].startswith('camera '), ip + ' was not added: ' + rows[ip][7]
        text = page.find('#search-status').text
        assert 'answered' in text, 'search status: ' + text
        # Search again on demand: the same cameras, the status renewed.
        page.find('#search-button').click()
        wait_for(lambda: page.find('#search-button').is_enabled() and 'answered' in page.find('#search-status').text,
                 15, 'the second search')
        assert len(page.camera_rows()) == 4
        # A camera's details: its record and its refreshed state.
        page.find('#camera-table tbody tr button').click()
        wait_for(lambda: 'temperature' in page.find('#detail-state').text, 10, 'the camera state')
        wait_for(lambda: page.find('#rate-frames').text != '-', 10, 'the counter charts')

    def hostile_texts_stay_text(self):
        page = self.page
        rows = page.camera_rows()
        row = rows.get('127.0.0.13')
        assert row, 'the hostile camera is not listed'
        assert row[2] == HOSTILE_MODEL, 'its model shows as ' + repr(row[2])
        assert row[4] == HOSTILE_NAME, 'its name shows as ' + repr(row[4])
        assert row[7] == 'VKT_ERR_NOT_SUPPORTED', 'its library column reads ' + repr(row[7])
        found = page.driver.execute_script('''
            return {x: window.x === undefined ? null : window.x, y: window.y === undefined ? null : window.y,
                    scripts: document.querySelectorAll('main script, #camera-table script').length,
                    images: document.querySelectorAll('#camera-table img').length};''')
        assert found == {'x': None, 'y': None, 'scripts': 0, 'images': 0}, 'markup ran or was built: ' + repr(found)

    def live_view_shows_changing_frames(self):
        page = self.page
        page.tab('live')
        page.pick_camera('127.0.0.10')
        page.find('#live-start').click()
        first = wait_for(lambda: page.image_digest('#live-image'), 15, 'a first frame')
        second = wait_for(lambda: (lambda d: d if d and d != first else None)(page.image_digest('#live-image')), 15,
                          'a different frame')
        assert first.split(':')[0] == second.split(':')[0] == '320x240', 'frame sizes ' + first + ' ' + second
        wait_for(lambda: int(page.find('#live-frames').text) >= 5, 10, 'five frames counted')
        fps = float(page.find('#live-fps').text.split()[0])
        assert 3 <= fps <= 30, 'frame rate shown: ' + page.find('#live-fps').text
        assert page.find('#live-dimensions').text == '320 x 240', 'size shown: ' + page.find('#live-dimensions').text
        assert reply_field(control('frames 0')[0], 'streaming') == '1'
        # Leaving the view lets the stream go: the camera is told to stop.
        page.find('#live-stop').click()
        wait_for(lambda: reply_field(control('frames 0')[0], 'streaming') == '0', 10, 'the camera to stop streaming')

    def picture_wall_shows_pushed_picture(self):
        page = self.page
        page.tab('live')
        control('snap 0 4242')
        figure = wait_for(lambda: next((f for f in page.find_all('#picture-wall figure')
                                        if 'value 4242' in f.text), None), 15, 'the pushed picture on the wall')
        assert '127.0.0.10' in figure.text, 'the picture is not shown as from 127.0.0.10: ' + figure.text
        assert 'camera time 20' in figure.text, 'no camera time: ' + figure.text
        assert 'w8=' in figure.text, 'no record words: ' + figure.text
        picture_id = figure.get_attribute('data-picture')
        wait_for(lambda: page.image_digest('#picture-wall figure[data-picture="' + picture_id + '"] img'), 10,
                 'the picture to load')
        # The snapshot button: a second picture, asked through the library.
        count = len(page.find_all('#picture-wall figure'))
        page.find('#snapshot-button').click()
        wait_for(lambda: len(page.find_all('#picture-wall figure')) > count, 15, 'the snapshot on the wall')

    def setting_set_in_form_reaches_camera(self):
        page = self.page
        page.tab('settings')
        page.pick_camera('127.0.0.10')
        block = '.setting[data-setting="rotation"] '
        text, error = page.press_setting(block, 'get')
        assert not error, 'get rotation: ' + text
        shown = page.find(block + 'input[data-field="value"]').get_attribute('value')
        held = reply_field(control('get 0 1180')[0], 'value')
        assert shown == held, 'the form shows %s, the camera holds %s' % (shown, held)
        target = '90' if held != '90' else '270'
        field = page.find(block + 'input[data-field="value"]')
        field.clear()
        field.send_keys(target)
        text, error = page.press_setting(block, 'set')
        assert not error, 'set rotation: ' + text
        held = reply_field(control('get 0 1180')[0], 'value')
        assert held == target, 'the camera holds rotation %s after setting %s' % (held, target)
        # A record: the exposure words, in the camera's little-endian record.
        block = '.setting[data-setting="ae-param"] '
        for name, value in (('word0', '1234'), ('word1', '-5')):
            field = page.find(block + 'input[data-field="' + name + '"]')
            field.clear()
            field.send_keys(value)
        text, error = page.press_setting(block, 'set')
        assert not error, 'set ae-param: ' + text
        record = reply_field(control('get 0 1044')[0], 'record')
        assert record == (1234).to_bytes(4, 'little').hex() + (-5).to_bytes(4, 'little', signed=True).hex(), \
            'the camera holds the exposure record ' + record
        # A bad value is refused before anything is sent.
        field = page.find('.setting[data-setting="rotation"] input[data-field="value"]')
        field.clear()
        field.send_keys('45')
        page.find('.setting[data-setting="rotation"] button[data-action="set"]').click()
        text, error = page.wait_status('.setting[data-setting="rotation"] .buttons .status')
        assert error and 'VKT_ERR_INVALID_PARAM' in text, 'rotation 45: ' + text
        assert reply_field(control('get 0 1180')[0], 'value') == target

    def sd_browser_downloads_picture(self, downloads):
        page = self.page
        page.tab('sd')
        page.pick_camera('127.0.0.10')
        wait_for(lambda: page.find_all('#sd-table tbody tr td.name button'), 10, 'the card root listing')
        directory = page.find('#sd-table tbody tr td.name button')
        name = directory.text.rstrip('/')
        directory.click()
        row = wait_for(lambda: next((r for r in page.find_all('#sd-table tbody tr')
                                     if r.find_elements(page.by.CSS_SELECTOR, 'a[data-action="download"]')), None), 10,
                       'a picture in /' + name)
        picture = row.get_attribute('data-name')
        wait_for(lambda: page.image_digest('#sd-table tbody tr[data-name="' + picture + '"] img'), 10, 'a thumbnail')
        row.find_element(page.by.CSS_SELECTOR, 'a[data-action="download"]').click()
        target = os.path.join(downloads, picture)
        wait_for(lambda: os.path.exists(target) and not os.path.exists(target + '.crdownload'), 15,
                 'the download of ' + picture)
        with open(target, 'rb') as f:
            downloaded = f.read()
        stored = bytes.fromhex(reply_field(control('sd 0 get /' + name + '/' + picture)[0], 'hex'))
        assert downloaded == stored, 'downloaded %d bytes (sha1 %s), the card holds %d (sha1 %s)' % (
            len(downloaded), hashlib.sha1(downloaded).hexdigest(), len(stored), hashlib.sha1(stored).hexdigest())

        # The whole directory as one tar, as another reader (Python's tarfile)
        # finds it: every picture of the listing, byte for byte, in the folder.
        pictures = [r.get_attribute('data-name') for r in page.find_all('#sd-table tbody tr')
                    if r.find_elements(page.by.CSS_SELECTOR, 'a[data-action="download"]')]
        assert pictures, 'no picture listed in /' + name
        page.find('#sd-archive').click()
        target = os.path.join(downloads, name + '.tar')
        wait_for(lambda: os.path.exists(target) and not os.path.exists(target + '.crdownload'), 15,
                 'the download of ' + name + '.tar')
        with tarfile.open(target, 'r:') as archive:
            members = {m.name: archive.extractfile(m).read() for m in archive.getmembers() if m.isreg()}
            assert len(members) == len(archive.getmembers()), 'a member that is not a regular file'
        assert sorted(members) == sorted(name + '/' + p for p in pictures), 'members %r, listed %r' % (
            sorted(members), pictures)
        for picture in pictures:
            stored = bytes.fromhex(reply_field(control('sd 0 get /' + name + '/' + picture)[0], 'hex'))
            assert members[name + '/' + picture] == stored, picture + ' differs in the archive'

    def change_ip_after_confirmation(self):
        page = self.page
        page.tab('cameras')
        row = page.find('#camera-table tbody tr[data-mac="00:1c:27:00:00:12"]')
        row.find_elements(page.by.CSS_SELECTOR, 'td.actions button')[-1].click()
        wait_for(lambda: page.find('#change-ip-dialog').get_attribute('open') is not None, 5, 'the address dialog')
        field = page.find('#change-ip-address')
        field.clear()
        field.send_keys('127.0.0.42')
        page.find('#change-ip-ok').click()
        wait_for(lambda: page.find('#confirm-dialog').get_attribute('open') is not None, 5, 'the confirmation')
        assert '127.0.0.42' in page.find('#confirm-text').text and '00:1c:27:00:00:12' in page.find('#confirm-text').text
        # Nothing is sent before the confirmation.
        assert 'address=127.0.0.12' in ' '.join(control('list'))
        page.find('#confirm-ok').click()
        wait_for(lambda: 'address=127.0.0.42' in ' '.join(control('list')), 10, 'the camera to take the address')
        wait_for(lambda: page.camera_rows().get('127.0.0.42', [None, None])[1] == '00:1c:27:00:00:12', 15,
                 'the camera listed at its new address')

    def refusals(self):
        api = self.base + '/api/cameras'
        assert http_status(api, {}) == 401, 'no token'
        assert http_status(api, {'X-Console-Token': 'wrong' + self.token[5:]}) == 401, 'wrong token'
        assert http_status(api, {'X-Console-Token': self.token}) == 200, 'the right token'
        assert http_status(api, {'X-Console-Token': self.token, 'Origin': 'http://evil.example'}) == 403, 'origin'
        assert http_status(api, {'X-Console-Token': self.token, 'Host': 'evil.example:8080'}) == 403, 'host'
        # And from the page itself: a fetch without the token is refused.
        status = self.page.driver.execute_async_script('''
            const done = arguments[arguments.length - 1];
            fetch('/api/cameras').then((r) => done(r.status), () => done(-1));''')
        assert status == 401, 'a fetch without the token got ' + str(status)


def stage_screenshots(page, folder):
    """The documentation's screenshots: each page in use."""
    os.makedirs(folder, exist_ok=True)
    page.driver.set_window_size(1280, 860)
    page.tab('cameras')
    wait_for(lambda: len(page.camera_rows()) >= 3, 20, 'cameras')
    page.find('#camera-table tbody tr button').click()
    wait_for(lambda: 'temperature' in page.find('#detail-state').text, 10, 'the state')
    control('triggers 0 3')
    time.sleep(6)  # the charts fill at one sample a second: a picture, not a synchronisation
    page.driver.save_screenshot(os.path.join(folder, 'console-cameras.png'))
    page.tab('live')
    page.pick_camera('127.0.0.10')
    page.find('#live-start').click()
    wait_for(lambda: len(page.find_all('#picture-wall figure')) >= 4, 20, 'pictures on the wall')
    wait_for(lambda: page.find('#live-fps').text not in ('-', '0.0 /s'), 10, 'the frame rate')
    control('triggers 0 0')
    page.driver.set_window_size(1280, 1020)  # the wall's captions too
    page.driver.save_screenshot(os.path.join(folder, 'console-live.png'))
    page.driver.set_window_size(1280, 860)
    page.find('#live-stop').click()
    page.tab('settings')
    page.pick_camera('127.0.0.10')
    page.find('#settings-get-all').click()
    wait_for(lambda: page.find('.setting[data-setting="trigger-inputs"] .buttons .status').text.startswith('read'),
             30, 'every setting read')
    page.find('#clock-get').click()
    page.driver.execute_script('window.scrollTo(0, 0)')
    page.driver.save_screenshot(os.path.join(folder, 'console-settings.png'))
    page.driver.execute_script('document.querySelector(\'.setting[data-setting="device-info"]\').closest(\'section\').scrollIntoView()')
    page.driver.save_screenshot(os.path.join(folder, 'console-settings-records.png'))
    page.tab('sd')
    wait_for(lambda: page.find_all('#sd-table tbody tr td.name button'), 10, 'the card root')
    page.find('#sd-table tbody tr td.name button').click()
    wait_for(lambda: len(page.find_all('#sd-table tbody tr a[data-action="download"]')) >= 2, 10, 'pictures')
    wait_for(lambda: all(page.driver.execute_script('return arguments[0].complete && arguments[0].naturalWidth > 0', i)
                         for i in page.find_all('#sd-table img')), 10, 'thumbnails')
    # A format under way: its progress bar beside the pictures it will clear.
    control('sd 0 formattime 8000')
    page.find('#sd-format').click()
    wait_for(lambda: page.find('#confirm-dialog').get_attribute('open') is not None, 5, 'the confirmation')
    page.find('#confirm-ok').click()
    wait_for(lambda: int(page.find('#sd-format-progress').get_attribute('value')) >= 35, 10, 'the format progress')
    page.driver.save_screenshot(os.path.join(folder, 'console-sd.png'))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--emulator', required=True)
    parser.add_argument('--console', required=True)
    parser.add_argument('--artefacts', required=True)
    parser.add_argument('--screenshots')
    args = parser.parse_args()

    for tool in (CHROMIUM, CHROMEDRIVER):
        if not os.access(tool, os.X_OK):
            print('SKIP: console browser tests: ' + tool + ' is not installed (tools/install-deps.sh installs it)')
            return SKIP
    try:
        import selenium  # noqa: F401
    except ImportError:
        print('SKIP: console browser tests: python3-selenium is not installed (tools/install-deps.sh installs it)')
        return SKIP
    links = subprocess.run(['ip', '-o', 'link', 'show'], capture_output=True, text=True).stdout.splitlines()
    if any(': lo:' not in line for line in links):
        print('console_browser_test: run me inside tools/netns-run (this namespace has more than loopback)')
        return 1

    started = time.monotonic()
    work = tempfile.mkdtemp(prefix='vkt-console-test-')
    downloads = os.path.join(work, 'downloads')
    os.makedirs(downloads)
    if os.path.isdir(args.artefacts):
        shutil.rmtree(args.artefacts)
    processes = Processes(work)
    driver = None
    try:
        cameras = CAMERAS + ([] if args.screenshots else [HOSTILE_CAMERA])
        emulator = [args.emulator, '--control', str(CONTROL_PORT)]
        for camera in cameras:
            emulator += ['--camera', camera]
        processes.start('emulator', emulator)
        processes.wait_line('emulator', 'ready', 20)
        # No --listen: the console must choose this host's loopback by itself.
        processes.start('console', [args.console, '--search-timeout', '800'])
        url = processes.wait_line('console', 'console: ', 20)[len('console: '):]
        assert url.startswith('http://127.0.0.1:%d/#token=' % CONSOLE_PORT), 'listens on loopback by default: ' + url
        # Bound to 127.0.0.1 itself, not to every address: another one of this
        # namespace finds no console.
        probe = socket.socket()
        probe.settimeout(5)
        assert probe.connect_ex(('127.0.0.2', CONSOLE_PORT)) != 0, 'the console answers on 127.0.0.2'
        probe.close()
        token = url.split('#token=')[1]
        base = url.split('/#')[0]

        driver = make_browser(downloads)
        driver.get(url)
        page = ConsolePage(driver, url)
        assert '#token' not in driver.current_url, 'the token stays in the address bar'

        if args.screenshots:
            stage_screenshots(page, args.screenshots)
            print('screenshots in ' + args.screenshots)
            return 0

        checks = Checks(page, args.artefacts, token, base)
        checks.run('search lists the emulated cameras', checks.search_lists_cameras)
        checks.run('hostile camera texts show as text', checks.hostile_texts_stay_text)
        checks.run('live view shows changing frames', checks.live_view_shows_changing_frames)
        checks.run('picture wall shows a pushed picture', checks.picture_wall_shows_pushed_picture)
        checks.run('a setting set in the form is what the camera holds', checks.setting_set_in_form_reaches_camera)
        checks.run('SD browser downloads a stored picture and its directory byte for byte',
                   lambda: checks.sd_browser_downloads_picture(downloads))
        checks.run('an address change is sent only after its confirmation', checks.change_ip_after_confirmation)
        checks.run('requests without the token or from elsewhere are refused', checks.refusals)

        driver.quit()
        driver = None
        stopped = time.monotonic()
        code = processes.stop('console', 10)
        if code != 0:
            checks.failures.append('clean stop')
            print('FAILED: the console did not stop cleanly on SIGINT (status %r)' % code)
            print(processes.output('console'))
        else:
            print('ok: the console stopped on SIGINT in %.1f s with status 0' % (time.monotonic() - stopped))
        print('%d checks, %d failed, %.1f s' % (checks.count + 1, len(checks.failures), time.monotonic() - started))
        return 1 if checks.failures else 0
    except Exception:
        traceback.print_exc()
        for name in ('emulator', 'console'):
            try:
                print('--- ' + name + ' output\n' + processes.output(name)[-2000:])
            except StopIteration:
                pass
        if driver is not None:
            os.makedirs(args.artefacts, exist_ok=True)
            driver.save_screenshot(os.path.join(args.artefacts, 'setup.png'))
        return 1
    finally:
        if driver is not None:
            driver.quit()
        processes.stop_all()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
