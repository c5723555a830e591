"""Shared pieces of the end-to-end tests: free ports, an Apache httpd started with a configuration
of the test's own, the run command started as a person would, and plain HTTP requests with Basic
credentials. Standard library only."""

import atexit
import base64
import http.client
import os
import pwd
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import urllib.parse

SOURCE = os.environ.get("VARD_SOURCE", os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))))
BIN = os.environ.get("VARD_BIN", os.path.join(SOURCE, "build", "bin"))
MODULES = "/usr/lib/apache2/modules"
APACHE = shutil.which("apache2") or "/usr/sbin/apache2"


def free_port():
    """A port the kernel has just handed out on loopback, so nothing else listens there."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def running_as_root():
    return os.geteuid() == 0


def apache_user_lines():
    """Started as root, Apache's children switch to www-data; otherwise they stay who we are."""
    return "User www-data\nGroup www-data\n" if running_as_root() else ""


def make_reachable(path):
    """Lets Apache's children (www-data when started as root) enter and read a test directory."""
    os.chmod(path, 0o755)


def give_to_apache_user(path):
    """Makes a file or directory writable by Apache's children."""
    if running_as_root():
        entry = pwd.getpwnam("www-data")
        os.chown(path, entry.pw_uid, entry.pw_gid)


def temp_dir(prefix):
    path = tempfile.mkdtemp(prefix=prefix)
    make_reachable(path)
    return path


def wait_listening(port, process, timeout=30.0, log=None):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if process.poll() is not None:
            raise RuntimeError("Apache exited with %s before listening\n%s" %
                               (process.returncode, read_text(log) if log else ""))
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1) as probe:
                # The ports handed out are ephemeral ones, and a connect to such a port while
                # nothing listens there can be given that very port as its own and meet itself.
                if probe.getsockname() != probe.getpeername():
                    return
        except OSError:
            pass
        time.sleep(0.1)
    raise RuntimeError("nothing listens on port %d after %.0f s" % (port, timeout))


def read_text(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except OSError:
        return ""


class Response:
    def __init__(self, status, reason, headers, body):
        self.status = status
        self.reason = reason
        self.headers = headers
        self.body = body

    def header(self, name):
        return self.headers.get(name)

    def cell(self, element_id):
        """Text of the element with the given id, as the whoami page writes it."""
        match = re.search(r'id="%s">(.*?)<' % re.escape(element_id), self.body, re.S)
        return match.group(1) if match else None


def basic(user, password):
    raw = ("%s:%s" % (user, password)).encode("utf-8")
    return "Basic " + base64.b64encode(raw).decode("ascii")


def request(port, path, user=None, password=None, method="GET", body=None, host=None,
            headers=None, tls=None):
    """One request on a connection of its own; user None sends no credentials."""
    all_headers = dict(headers or {})
    if user is not None:
        all_headers["Authorization"] = basic(user, password)
    if host is not None:
        all_headers["Host"] = host
    if body is not None and "Content-Type" not in all_headers:
        all_headers["Content-Type"] = "application/x-www-form-urlencoded"
    if tls is not None:
        conn = http.client.HTTPSConnection("127.0.0.1", port, timeout=60, context=tls)
    else:
        conn = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
    try:
        conn.request(method, path, body=body, headers=all_headers)
        response = conn.getresponse()
        data = response.read().decode("utf-8", errors="replace")
        return Response(response.status, response.reason, response.headers, data)
    finally:
        conn.close()


# Servers still running when the test program ends (a failed set-up skips tearDown) are stopped
# then, so that no Apache outlives its test.
_running = []
atexit.register(lambda: [server.stop() for server in list(_running)])


class Apache:
    """An Apache httpd in the foreground with the given configuration file, stopped by SIGTERM to
    its parent, as its own documentation asks."""

    def __init__(self, conf, port, error_log, env=None):
        self.conf = conf
        self.port = port
        self.error_log = error_log
        self.env = dict(os.environ)
        self.env.update(env or {})
        self.process = None

    def start(self):
        stderr_path = self.error_log + ".stderr"
        with open(stderr_path, "wb") as stderr:
            self.process = subprocess.Popen([APACHE, "-f", self.conf, "-DFOREGROUND"],
                                            env=self.env, stdout=subprocess.DEVNULL,
                                            stderr=stderr, start_new_session=True)
        _running.append(self)
        try:
            wait_listening(self.port, self.process, log=self.error_log)
        except RuntimeError as e:
            self.stop()
            raise RuntimeError("%s\n%s" % (e, read_text(stderr_path)))
        return self

    def stop(self):
        if self in _running:
            _running.remove(self)
        if self.process is None or self.process.poll() is not None:
            return
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()

    def log(self):
        return read_text(self.error_log)


def base_conf(root, port, extra_modules=()):
    """The part of an httpd.conf every test server shares: paths inside root, loopback only."""
    modules = ["mpm_event", "authn_core", "authz_core", "authz_user", "authz_host", "auth_basic",
               "authn_file", "alias", "mime", "cgid", "dir"] + list(extra_modules)
    lines = ["ServerRoot \"%s\"" % root,
             "Listen 127.0.0.1:%d" % port,
             "ServerName 127.0.0.1",
             "DefaultRuntimeDir \"%s/run\"" % root,
             "PidFile \"%s/run/httpd.pid\"" % root,
             "ErrorLog \"%s/error.log\"" % root,
             "LogLevel notice",
             "TypesConfig /etc/mime.types",
             "ScriptSock \"%s/run/cgid.sock\"" % root]
    lines += ["LoadModule %s_module %s/mod_%s.so" % (m, MODULES, m) for m in modules]
    os.makedirs(os.path.join(root, "run"), exist_ok=True)
    give_to_apache_user(os.path.join(root, "run"))
    return "\n".join(lines) + "\n" + apache_user_lines()


class RunCommand:
    """scripts/run started as a person would, in a session of its own so that stop() can send
    SIGINT to its whole process group the way Ctrl-C in a terminal does."""

    def __init__(self, state, port, *options, wrapper=()):
        self.state = state
        self.port = port
        self.options = list(options)
        self.wrapper = list(wrapper)  # a command that runs the rest, e.g. in a namespace
        self.output_path = os.path.join(state, "run-output.txt")
        self.process = None

    def start(self, timeout=60.0):
        with open(self.output_path, "wb") as out:
            self.process = subprocess.Popen(
                self.wrapper +
                [os.path.join(SOURCE, "scripts", "run"), "--no-build", "--bin", BIN, "--state",
                 self.state, "--port", str(self.port)] + self.options,
                stdout=out, stderr=subprocess.STDOUT, start_new_session=True)
        _running.append(self)
        deadline = time.monotonic() + timeout
        while "Vardomar runs at" not in self.output():
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise RuntimeError("run did not start:\n" + self.output())
            time.sleep(0.1)
        return self

    def output(self):
        return read_text(self.output_path)

    def stop(self, timeout=30.0):
        """Ctrl-C; returns the run command's exit status."""
        if self in _running:
            _running.remove(self)
        if self.process is None:
            return None
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGINT)
            try:
                self.process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()
                raise RuntimeError("run did not stop within %.0f s of Ctrl-C" % timeout)
        return self.process.returncode

    def data(self, *parts):
        return os.path.join(self.state, "data", *parts)

    def apache_log(self):
        return read_text(os.path.join(self.state, "logs", "error.log"))


def post_form(port, program, action, fields, host=None):
    """A form of one of the CGI programs posted as a browser posts it."""
    return request(port, "/cgi-bin/%s?Action=%s" % (program, action), method="POST",
                   body=urllib.parse.urlencode(fields), host=host)
