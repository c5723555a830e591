"""A web farm on this machine, for the farm test and its benchmark: a private GlusterFS volume on
loopback mounted twice, and two Apache servers started by the run command, each with its own
mount, settings store, backup directory and event log, the configuration on the volume. The
configuration names one event log path, as on a real farm where that path is each machine's own
disk: each server runs in a mount namespace of its own in which its own directory is bound at
that path. Everything is torn down by process id, also when a step of the set-up fails. Root only.

Run as a program, it prints the requests per second of both servers together with the
configuration on local disk and on the volume (bench/farm_bench.sh)."""

import atexit
import os
import re
import shutil
import socket
import subprocess
import sys
import time

import harness

VOLUME = "vardfarm"
# The mount options the README recommends for a farm: the kernel's caches of names and file
# attributes off, so that a save made through one mount is seen through the others within
# milliseconds; the filter's reload check interval then bounds what examining the file costs.
MOUNT_OPTIONS = "attribute-timeout=0,entry-timeout=0,negative-timeout=0"
ACCOUNT_PASSWORD = "farm-account-pw"
LOAD_USER, LOAD_PASSWORD = "loaduser", "load-pw"


def run(*command, check=True, **kwargs):
    r = subprocess.run(list(command), capture_output=True, text=True, **kwargs)
    if check and r.returncode != 0:
        raise RuntimeError("%s: exit %d\n%s%s" % (" ".join(command), r.returncode, r.stdout,
                                                r.stderr))
    return r


def gluster(*args, check=True):
    return run("gluster", "--mode=script", *args, check=check)


class Volume:
    """A one-brick GlusterFS volume served by a glusterd of its own, mounted at each of
    `mounts`."""

    def __init__(self, root, mounts):
        self.root = root
        self.mounts = [os.path.join(root, m) for m in mounts]
        self.glusterd = None
        self.created = False
        self.mounted = []

    def start(self):
        on_teardown(self.stop)
        state = os.path.join(self.root, "glusterd")
        os.makedirs(state)
        with open("/etc/glusterfs/glusterd.vol") as f:
            vol = f.read()
        vol = re.sub(r"option working-directory \S+", "option working-directory " + state, vol)
        vol = vol.replace("option transport-type socket\n",
                          "option transport-type socket\n"
                          "    option transport.address-family inet\n"
                          "    option transport.socket.bind-address 127.0.0.1\n")
        conf = os.path.join(self.root, "glusterd.vol")
        with open(conf, "w") as f:
            f.write(vol)
        self.glusterd = subprocess.Popen(
            ["glusterd", "-N", "-f", conf, "--log-file=" + os.path.join(self.root, "glusterd.log")],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        deadline = time.monotonic() + 30
        while gluster("peer", "status", check=False).returncode != 0:
            if self.glusterd.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("glusterd did not answer:\n" +
                                   harness.read_text(os.path.join(self.root, "glusterd.log")))
            time.sleep(0.2)
        # The command line refuses loopback addresses as a brick's host; the machine's own name
        # resolves to one.
        os.makedirs(os.path.join(self.root, "brick"))
        brick = "%s:%s" % (socket.gethostname(), os.path.join(self.root, "brick", "b"))
        gluster("volume", "create", VOLUME, brick, "force")
        self.created = True
        gluster("volume", "set", VOLUME, "performance.stat-prefetch", "off")
        gluster("volume", "start", VOLUME)
        for i, mount in enumerate(self.mounts):
            os.makedirs(mount)
            log = os.path.join(self.root, "mount%d.log" % i)
            run("mount", "-t", "glusterfs", "-o", "%s,log-file=%s" % (MOUNT_OPTIONS, log),
                "127.0.0.1:/" + VOLUME, mount)
            self.mounted.append(mount)
        return self

    def stop(self):
        for mount in reversed(self.mounted):
            for _ in range(50):
                if run("umount", mount, check=False).returncode == 0:
                    break
                time.sleep(0.1)
            else:
                run("umount", "-l", mount, check=False)
        self.mounted = []
        if self.created:
            gluster("volume", "stop", VOLUME, "force", check=False)
            gluster("volume", "delete", VOLUME, check=False)
            self.created = False
        if self.glusterd is not None and self.glusterd.poll() is None:
            self.glusterd.terminate()
            try:
                self.glusterd.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.glusterd.kill()
                self.glusterd.wait()
        self.glusterd = None


# What set-up made and teardown() undoes, last first: the servers, the mounts, the volume,
# glusterd, the directories. Also run when the program ends, since a failed set-up skips tearDown.
_cleanups = []


def on_teardown(cleanup):
    _cleanups.append(cleanup)


def teardown():
    while _cleanups:
        _cleanups.pop()()


atexit.register(teardown)


def vardcfg(*args, registry=None, password=None):
    """vardcfg as Apache's user, as an administrator of the farm would run it."""
    env = dict(os.environ)
    if registry is not None:
        env["VARDOMAR_REGISTRY"] = registry
    r = subprocess.run(["runuser", "-u", "www-data", "--", os.path.join(harness.BIN, "vardcfg")] +
                       list(args), input=(password + "\n") if password else None,
                       capture_output=True, text=True, env=env)
    if r.returncode != 0:
        raise RuntimeError("vardcfg %s: %s" % (" ".join(args), r.stderr))
    return r.stdout


class Farm:
    """Servers A and B on two loopback ports. `shared_dirs` are the directories each server
    reaches the configuration through (the two mounts, or one local directory twice)."""

    def __init__(self, root, shared_dirs, interval_ms):
        self.root = root
        self.shared = shared_dirs
        self.interval_ms = interval_ms
        self.event_dir = os.path.join(root, "events")  # the path the configuration names
        self.servers = []

    def config(self, i=0):
        return os.path.join(self.shared[i], "farm", "vardomar.cfg")

    def event_log(self, i):
        return os.path.join(self.root, "server%d" % i, "events", "events.log")

    def backups(self, i):
        return os.path.join(self.root, "server%d" % i, "data", "backup")

    def port(self, i):
        return self.servers[i].port

    def start(self):
        ports = [harness.free_port() for _ in self.shared]
        os.makedirs(self.event_dir)
        farm_dir = os.path.dirname(self.config())
        os.makedirs(farm_dir)
        harness.give_to_apache_user(farm_dir)
        os.chmod(farm_dir, 0o700)
        config = self.config()
        vardcfg("init", config, "--event-log", os.path.join(self.event_dir, "events.log"))
        vardcfg("--config", config, "account", "add", "webstaff", password=ACCOUNT_PASSWORD)
        vardcfg("--config", config, "authority", "add", "Staff")
        for port in ports:
            vardcfg("--config", config, "binding", "add", "127.0.0.1", str(port), "Staff")
        vardcfg("--config", config, "user", "add", "Staff", LOAD_USER, "--map-to", "webstaff",
                "--no-expiry", password=LOAD_PASSWORD)
        for i, port in enumerate(ports):
            self.servers.append(self._start_server(i, port))
        return self

    def _start_server(self, i, port):
        state = os.path.join(self.root, "server%d" % i)
        data = os.path.join(state, "data")
        own_events = os.path.join(state, "events")
        for d in (state, own_events, os.path.join(data, "backup")):
            os.makedirs(d, exist_ok=True)
            harness.make_reachable(d)
        harness.give_to_apache_user(own_events)
        harness.give_to_apache_user(data)
        # A configuration in the state keeps the run command from writing its demo one and a
        # settings store naming it; this server's store names the shared file instead.
        open(os.path.join(data, "vardomar.cfg"), "w").close()
        registry = os.path.join(data, "registry")
        vardcfg("location", "set", self.config(i), os.path.join(data, "backup"), registry=registry)
        vardcfg("location", "interval", str(self.interval_ms), registry=registry)
        wrapper = ["unshare", "--mount", "--propagation", "private", "sh", "-c",
                   'mount --bind "$1" "$2" && shift 2 && exec "$@"', "sh", own_events,
                   self.event_dir]
        server = harness.RunCommand(state, port, wrapper=wrapper).start()
        on_teardown(server.stop)
        return server

    def stop(self):
        for server in self.servers:
            server.stop()
        self.servers = []


def wrk(port, seconds, connections=8):
    return subprocess.Popen(
        ["wrk", "-t1", "-c%d" % connections, "-d%ds" % seconds, "--timeout", "10s", "-H",
         "Authorization: " + harness.basic(LOAD_USER, LOAD_PASSWORD),
         "http://127.0.0.1:%d/protected/index.html" % port],
        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


def requests_per_second(report):
    return float(re.search(r"Requests/sec:\s+([\d.]+)", report).group(1))


def bench(seconds):
    """Both servers under wrk at once, the configuration on local disk and on the volume."""
    root = harness.temp_dir("vardomar-farm-bench-")
    on_teardown(lambda: shutil.rmtree(root, ignore_errors=True))
    rows = []
    try:
        volume = Volume(root, ["m1", "m2"]).start()
        local = os.path.join(root, "local")
        os.makedirs(local)
        harness.make_reachable(local)
        cases = (("local disk", [local, local], 0),
                 ("volume, interval 1000 ms", volume.mounts, 1000),
                 ("volume, interval 0 (every request)", volume.mounts, 0))
        for n, (name, dirs, interval) in enumerate(cases):
            case_root = os.path.join(root, "case%d" % n)
            os.makedirs(case_root)
            harness.make_reachable(case_root)
            shared = [os.path.join(d, "case%d" % n) for d in dirs]
            os.makedirs(shared[0])
            harness.make_reachable(shared[0])
            farm = Farm(case_root, shared, interval).start()
            try:
                loads = [wrk(farm.port(i), seconds) for i in range(2)]
                rows.append((name, sum(requests_per_second(l.communicate()[0]) for l in loads)))
            finally:
                farm.stop()
    finally:
        teardown()
    base = rows[0][1]
    print("%-36s %12s %8s" % ("configuration", "requests/s", "ratio"))
    for name, rate in rows:
        print("%-36s %12.0f %8.2f" % (name, rate, rate / base if base else 0))


if __name__ == "__main__":
    bench(int(sys.argv[1]) if len(sys.argv) > 1 else 10)
