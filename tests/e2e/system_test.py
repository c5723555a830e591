"""The whole system in Apache httpd, started by the run command, through real HTTP only: the
administration program sets things up as an administrator would, visitors log on to the guarded
site, and the filter's records, reloads and backups are checked from outside."""

import concurrent.futures
import os
import re
import shutil
import subprocess
import threading
import time
import unittest

import harness

EVENT_TEXTS = (
    "OK Authenticated (UserName UserDB)", "Filter disabled", "User not found (UserName UserDB)",
    "Invalid password (UserName UserDB)", "Account expire date error (UserName UserDB)",
    "Account expired (UserName UserDB)",
    "Mapping disabled - passing through (UserName UserDB)",
    "MapTo not specified (UserName UserDB)", "MapTo Account not found", "Anonymous request",
    "SERVER_NAME Header not found !", "Site not handled (Binding)",
    "User data base for this site not found (Binding UserDB)",
    "Account disabled (UserName UserDB)",
    "Expiration date > 2037 not supported (UserName UserDB)",
    "Expiration date not found (UserName UserDB)")
# One record: id, time of day, date, description, two parameters, resource, site. The tests use
# no commas in names, so a whole record has exactly these eight fields.
RECORD = re.compile(r"^(\d+), ([^,]+), ([ \d]\d/[ \d]\d/\d{4}), (%s), ([^,]*), ([^,]*), "
                    r"([^,]*), ([^,]*)$" % "|".join(re.escape(t) for t in EVENT_TEXTS))
GUARDED = "/protected/whoami.cgi"
# {SHA} of "filepw": the user Apache's own provider knows.
PASSWD_LINE = "fileuser:{SHA}T8C8/awoL4iqwQDp2y2vSDvIHdw=\n"


def admin(port, action, **fields):
    r = harness.post_form(port, "vardadmin", action, fields)
    assert r.status == 200, (action, r.status, r.body)
    return r.body


def records(path):
    return harness.read_text(path).splitlines()


def start_run(name, *options, passwd=True):
    state = harness.temp_dir("vardomar-%s-" % name)
    if passwd:
        os.makedirs(os.path.join(state, "data"))
        with open(os.path.join(state, "data", "passwd"), "w") as f:
            f.write(PASSWD_LINE)
    return harness.RunCommand(state, harness.free_port(), *options).start()


def demo_credentials(run):
    match = re.search(r"\(user (\S+), password (\S+)\)", run.output())
    return match.group(1), match.group(2)


class RunCommandTest(unittest.TestCase):
    """The README's first command: the demo works as printed, Ctrl-C stops everything, and a
    second run keeps what the first one set up."""

    def test_demo_start_stop_and_restart(self):
        run = start_run("demo", passwd=False)
        try:
            user, password = demo_credentials(run)
            for host in ("127.0.0.1", "localhost"):
                r = harness.request(run.port, GUARDED, user, password,
                                    host="%s:%d" % (host, run.port))
                self.assertEqual(r.status, 200, host)
                self.assertEqual(r.cell("remote-user"), "webstaff")
                self.assertEqual(r.cell("auth-type"), "Basic")
            r = harness.request(run.port, GUARDED)
            self.assertEqual(r.status, 401)
            self.assertIn("Basic realm=", r.header("WWW-Authenticate"))
            self.assertEqual(harness.request(run.port, "/cgi-bin/vardadmin").status, 200)
            self.assertIn("loaded:", run.apache_log())
            with open(os.path.join(run.state, "run", "httpd.pid")) as f:
                apache_pid = int(f.read())
        finally:
            status = run.stop()
        self.assertEqual(status, 0, run.output())
        self.assertFalse(os.path.exists("/proc/%d" % apache_pid), "Apache still runs")
        self.assertIn("Apache stopped.", run.output())

        again = harness.RunCommand(run.state, run.port).start()
        try:
            self.assertEqual(demo_credentials(again), (user, password))
            self.assertEqual(harness.request(run.port, GUARDED, user, password).status, 200)
        finally:
            again.stop()
        shutil.rmtree(run.state, ignore_errors=True)


class SystemTest(unittest.TestCase):
    """From the empty sections to logged-on visitors, in the order an administrator works; the
    tests run in the order of their numbers and build on each other."""

    @classmethod
    def setUpClass(cls):
        cls.server = start_run("road", "--empty")
        cls.port = cls.server.port
        cls.log = cls.server.data("events.log")
        cls.backups = cls.server.data("backup")

    @classmethod
    def tearDownClass(cls):
        status = cls.server.stop()
        shutil.rmtree(cls.server.state, ignore_errors=True)
        assert status == 0, cls.server.output()

    def whoami(self, user=None, password=None, host=None):
        return harness.request(self.port, GUARDED, user, password, host=host)

    def test_1_typical_road(self):
        body = admin(self.port, "MainScreenDo", LogFile=self.log)
        self.assertIn(self.log, body)
        self.assertIn("added successfuly", admin(self.port, "NTAccAddDo", User="webstaff",
                                                 Pass="nt-secret", Pass2="nt-secret"))
        self.assertIn("created", admin(self.port, "AuthAddDo", Authority="Staff"))
        self.assertIn("will be authenticated in authority",
                      admin(self.port, "BindAddDo", Host="127.0.0.1", Port=str(self.port),
                            Authority="Staff"))
        self.assertIn("added to authority", admin(
            self.port, "AddUserDo", Authority="Staff", User="alice", Pass="alice-pw", MapTo="ON",
            NTAcc="webstaff", Expire="", noexpiration="1"))
        # Saved with the mapping off: Apache's own provider decides with the typed credentials.
        self.assertIn("added to authority", admin(
            self.port, "AddUserDo", Authority="Staff", User="fileuser", Pass="ignored",
            NTAcc="webstaff"))

        r = self.whoami("alice", "alice-pw")
        self.assertEqual(r.status, 200, r.body)
        self.assertEqual(r.cell("remote-user"), "webstaff")
        self.assertEqual(r.cell("auth-type"), "Basic")
        # The account's password stays inside the server: no credentials are passed on.
        self.assertEqual(r.cell("passed-user"), "")

        r = self.whoami("alice", "wrong")
        self.assertEqual((r.status, r.reason), (401, "Access Denied"))
        self.assertEqual(r.header("WWW-Authenticate"), 'Basic realm="Vardomar demo site"')

        r = self.whoami("fileuser", "filepw")
        self.assertEqual(r.status, 200)
        self.assertEqual(r.cell("remote-user"), "fileuser")
        self.assertEqual((self.whoami("fileuser", "ignored").status), 401)

        # A name of the server that no binding names is passed on: the filter's users mean
        # nothing there.
        unbound = "localhost:%d" % self.port
        self.assertEqual(self.whoami("alice", "alice-pw", host=unbound).status, 401)
        r = self.whoami("fileuser", "filepw", host=unbound)
        self.assertEqual((r.status, r.cell("remote-user")), (200, "fileuser"))

        page = admin(self.port, "ViewLog", type="-1")
        for shown in ("OK Authenticated (UserName UserDB)", "Invalid password (UserName UserDB)",
                      "Mapping disabled - passing through (UserName UserDB)",
                      "Site not handled (Binding)", "localhost|%d" % self.port):
            self.assertIn(shown, page)
        lines = records(self.log)
        self.assertTrue(any(l.startswith("0, ") and ", alice, Staff, %s, " % GUARDED in l
                            for l in lines), lines)
        self.assertTrue(any(l.startswith("4, ") and ", alice, Staff, " in l for l in lines))

    def test_2_reload_uses_the_change_and_keeps_one_backup(self):
        self.assertEqual(self.whoami("alice", "alice-pw").status, 200)
        # Backup names hold the time to the second: a new second keeps this copy apart.
        time.sleep(1.1)
        before = set(os.listdir(self.backups))
        self.assertIn("changed in authority", admin(
            self.port, "ChangeUserDo", Authority="Staff", User="alice", Pass="alice-new",
            MapTo="ON", NTAcc="webstaff", Expire="", noexpiration="1"))
        self.assertEqual(self.whoami("alice", "alice-pw").status, 401)
        self.assertEqual(self.whoami("alice", "alice-new").status, 200)
        added = set(os.listdir(self.backups)) - before
        self.assertEqual(len(added), 1, added)
        # The copy is the configuration as it was before the save.
        with open(os.path.join(self.backups, added.pop())) as f:
            copy = f.read()
        self.assertIn("Password=alice-pw", copy)
        self.assertNotIn("alice-new", copy)

    def test_3_site_program_manages_its_authoritys_users(self):
        bound = "127.0.0.1:%d" % self.port
        r = harness.request(self.port, "/cgi-bin/vardsite", host=bound)
        self.assertIn("alice", r.body)
        r = harness.post_form(self.port, "vardsite", "AddUserDo",
                              dict(User="bob", Pass="bob-pw", MapTo="ON", NTAcc="webstaff",
                                   Expire="", noexpiration="1"), host=bound)
        self.assertEqual(r.status, 200)
        r = self.whoami("bob", "bob-pw")
        self.assertEqual((r.status, r.cell("remote-user")), (200, "webstaff"))
        self.assertIn("bob", admin(self.port, "ListAuthority", Authority="Staff"))

        r = harness.post_form(self.port, "vardsite", "DelUserDo", dict(User="bob"), host=bound)
        self.assertEqual(r.status, 200)
        self.assertEqual(self.whoami("bob", "bob-pw").status, 401)

        # A name the run command's Apache does not answer to never reaches the programs.
        r = harness.request(self.port, "/cgi-bin/vardsite", host="unbound.test:%d" % self.port)
        self.assertEqual(r.status, 403)
        r = harness.request(self.port, "/cgi-bin/vardsite", host="[::1]:%d" % self.port)
        self.assertIn("No authority was defined for site answering on", r.body)
        self.assertNotIn("alice", r.body)

    def test_4_load_while_the_configuration_is_saved(self):
        self.assertIn("added to authority", admin(
            self.port, "AddUserDo", Authority="Staff", User="carol", Pass="carol-old",
            MapTo="ON", NTAcc="webstaff", Expire="", noexpiration="1"))
        self.assertEqual(self.whoami("carol", "carol-old").status, 200)
        stop = threading.Event()
        change = {}
        carol = []

        def carol_loop():
            while not stop.is_set():
                sent = time.monotonic()
                r = harness.request(self.port, "/protected/index.html", "carol", "carol-old")
                carol.append((sent, time.monotonic(), "%d %s" % (r.status, r.reason)))

        def saves():
            for i in range(20):
                time.sleep(0.4)
                if i == 10:
                    change["sent"] = time.monotonic()
                    body = admin(self.port, "ChangeUserDo", Authority="Staff", User="carol",
                                 Pass="carol-new", MapTo="ON", NTAcc="webstaff", Expire="",
                                 noexpiration="1")
                    change["returned"] = time.monotonic()
                    assert "changed in authority" in body, body
                else:
                    admin(self.port, "MainScreenDo", LogFile=self.log)

        wrk = subprocess.Popen(
            ["wrk", "-t2", "-c8", "-d10s", "--timeout", "10s", "-H",
             "Authorization: " + harness.basic("alice", "alice-new"),
             "http://127.0.0.1:%d/protected/index.html" % self.port],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            loop = pool.submit(carol_loop)
            saving = pool.submit(saves)
            saving.result(timeout=60)
            report = wrk.communicate(timeout=60)[0]
            stop.set()
            loop.result(timeout=60)

        self.assertEqual(wrk.returncode, 0, report)
        self.assertNotIn("Non-2xx", report)
        self.assertNotIn("Socket errors", report)
        requests = int(re.search(r"(\d+) requests in", report).group(1))
        self.assertGreater(requests, 100, report)
        before = [s for sent, done, s in carol if done < change["sent"]]
        # Each server process loads the save beside the configuration in force while its other
        # requests go on with that one: a request sent during a load may still be let in. A second
        # is many times a small file's load, even on a loaded machine.
        after = [s for sent, done, s in carol if sent > change["returned"] + 1.0]
        self.assertTrue(before and after, (len(before), len(after)))
        self.assertEqual(set(before), {"200 OK"})
        # Refused by the filter itself, not passed on to Apache's own provider.
        self.assertEqual(set(after), {"401 Access Denied"})
        self.assertNotIn("filter failed", self.server.apache_log())

        lines = records(self.log)
        broken = [l for l in lines if not RECORD.match(l)]
        self.assertEqual(broken, [])
        self.assertGreaterEqual(
            sum(1 for l in lines if l.startswith("0, ") and ", alice, Staff, " in l), requests)

    def test_5_the_site_is_the_one_apache_matched(self):
        # The virtual host answers to 127.0.0.1 and localhost; each name gets its own authority.
        self.assertIn("created", admin(self.port, "AuthAddDo", Authority="Other"))
        self.assertIn("added to authority", admin(
            self.port, "AddUserDo", Authority="Other", User="olga", Pass="olga-pw", MapTo="ON",
            NTAcc="webstaff", Expire="", noexpiration="1"))
        for host, port in (("localhost", str(self.port)), ("other.test", str(self.port)),
                           ("intranet", "80")):
            self.assertIn("will be authenticated in authority", admin(
                self.port, "BindAddDo", Host=host, Port=port, Authority="Other"))
        here, local = "127.0.0.1:%d" % self.port, "localhost:%d" % self.port
        self.assertEqual(self.whoami("olga", "olga-pw", host=local).status, 200)
        self.assertEqual(self.whoami("alice", "alice-new", host=here).status, 200)
        # A name the virtual host does not answer to counts as its ServerName (127.0.0.1: Staff),
        # and a port in the Host header is not the port the request arrived on.
        for forged in ("other.test:%d" % self.port, "intranet", "intranet:80"):
            r = self.whoami("olga", "olga-pw", host=forged)
            self.assertEqual((r.status, r.reason), (401, "Access Denied"), forged)
        self.assertEqual(self.whoami("alice", "alice-new", host="other.test").status, 200)
        self.assertEqual(self.whoami("alice", "alice-new", host=local).status, 401)

        # The site manager serves the authority of the matched name. A foreign name does not even
        # reach it: the programs' location answers only to the names the administrator uses
        # (what the program itself does with one is its own process test's business).
        page = harness.request(self.port, "/cgi-bin/vardsite", host=local).body
        self.assertIn("olga", page)
        self.assertNotIn("alice", page)
        for forged in ("other.test:%d" % self.port, "intranet"):
            r = harness.request(self.port, "/cgi-bin/vardsite", host=forged)
            self.assertEqual(r.status, 403, forged)
            self.assertNotIn("olga", r.body)
            self.assertNotIn("alice", r.body)


    def test_6_htpasswd_users_keep_their_passwords_and_no_page_shows_a_hash(self):
        config = self.server.data("vardomar.cfg")
        htpasswd = self.server.data("import.htpasswd")
        subprocess.run(["htpasswd", "-cbB", htpasswd, "olduser", "old-pw"], check=True,
                       capture_output=True)
        harness.give_to_apache_user(htpasswd)

        def vardcfg(*args):
            # As the user the configuration belongs to, as an administrator would run it.
            command = [os.path.join(harness.BIN, "vardcfg")] + list(args)
            if harness.running_as_root():
                command = ["runuser", "-u", "www-data", "--"] + command
            return subprocess.run(command, capture_output=True, text=True)

        r = vardcfg("import-htpasswd", config, "Staff", htpasswd, "--map-to", "webstaff")
        self.assertEqual((r.returncode, r.stdout), (0, "Staff/olduser: added\n1 user(s) added\n"),
                         r.stderr)
        r = self.whoami("olduser", "old-pw")
        self.assertEqual((r.status, r.cell("remote-user")), (200, "webstaff"))
        self.assertEqual(self.whoami("olduser", "old-pW").status, 401)

        r = vardcfg("hash-passwords", config)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertNotIn("alice-new", harness.read_text(config))
        self.assertEqual(self.whoami("alice", "alice-new").status, 200)
        for user in ("olduser", "alice"):
            form = admin(self.port, "EditUser", Authority="Staff", User=user)
            self.assertIn('name="Pass" size="20" value=""', form)
            self.assertNotIn("$2y$", form)
            self.assertNotIn("$y$", form)


class SeveralChildrenTest(unittest.TestCase):
    """Each child process holds its own filter instance; every one of them notices a change."""

    def test_every_child_uses_the_saved_change(self):
        run = start_run("children", "--children", "3", passwd=False)
        try:
            user, password = demo_credentials(run)

            def statuses(secret):
                with concurrent.futures.ThreadPoolExecutor(max_workers=6) as pool:
                    return set(pool.map(
                        lambda _: harness.request(run.port, GUARDED, user, secret).status,
                        range(60)))

            self.assertEqual(statuses(password), {200})
            self.assertGreaterEqual(run.apache_log().count("loaded:"), 3)
            self.assertIn("changed in authority", admin(
                run.port, "ChangeUserDo", Authority="Demo", User=user, Pass="changed-pw",
                MapTo="ON", NTAcc="webstaff", Expire="", noexpiration="1"))
            # A child's requests that arrive while it loads the change still decide with the
            # configuration in force, so the old password may pass for that moment; once every
            # child has loaded it, none accepts it.
            deadline = time.monotonic() + 5
            while statuses(password) != {401}:
                self.assertLess(time.monotonic(), deadline, "a child kept the old password")
            self.assertEqual(statuses("changed-pw"), {200})
        finally:
            status = run.stop()
            shutil.rmtree(run.state, ignore_errors=True)
        self.assertEqual(status, 0)


if __name__ == "__main__":
    unittest.main()
