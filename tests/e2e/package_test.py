"""The Debian package on this machine's own Apache: installed with apt-get, enabled with
a2enmod/a2enconf, run from the installed files only (an Apache of the test's own on a free
loopback port; the system's service is not touched), administered with the installed vardcfg,
watched by the installed fail2ban filter, then purged without a trace. Needs root and the
package built by scripts/package; usage: package_test.py DEB."""

import os
import shutil
import subprocess
import sys
import unittest

import harness

DEB = ""
APT_ENV = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
# What the package installs or creates; none of it may outlive the purge.
PACKAGE_PATHS = ["/usr/bin/vardcfg", "/usr/lib/vardomar", "/usr/lib/apache2/modules/mod_vardfilt.so",
                 "/etc/apache2/mods-available/vardfilt.load",
                 "/etc/apache2/mods-available/vardfilt.conf",
                 "/etc/apache2/conf-available/vardomar-admin.conf",
                 "/etc/apache2/mods-enabled/vardfilt.load",
                 "/etc/apache2/conf-enabled/vardomar-admin.conf",
                 "/etc/fail2ban/filter.d/vardomar.conf", "/etc/fail2ban/jail.d/vardomar.conf",
                 "/etc/logrotate.d/vardomar", "/etc/vardomar", "/var/lib/vardomar",
                 "/var/log/vardomar"]


def run(*command, stdin=None, env=None):
    return subprocess.run(command, input=stdin, capture_output=True, text=True, env=env,
                          check=True).stdout


def enabled(kind, name):
    return os.path.exists("/etc/apache2/%s-enabled/%s" % (kind, name))


class Package(unittest.TestCase):
    def setUp(self):
        self.root = harness.temp_dir("vardomar-package-")
        self.cgid_was_enabled = enabled("mods", "cgid.load")
        self.apache = None

    def tearDown(self):
        if self.apache:
            self.apache.stop()
        subprocess.run(["apt-get", "purge", "-y", "-qq", "vardomar"], env=APT_ENV,
                       capture_output=True)
        if not self.cgid_was_enabled:
            subprocess.run(["a2dismod", "-q", "cgid"], capture_output=True)
        shutil.rmtree(self.root, ignore_errors=True)

    def write_conf(self, port):
        site = os.path.join(self.root, "htdocs", "protected")
        os.makedirs(site)
        for path in (os.path.dirname(site), site):
            harness.make_reachable(path)
        with open(os.path.join(site, "index.html"), "w") as f:
            f.write("<p>guarded</p>\n")
        passwd = os.path.join(self.root, "passwd")
        open(passwd, "w").close()
        os.chmod(passwd, 0o644)
        conf = harness.base_conf(self.root, port) + """
Include /etc/apache2/mods-enabled/vardfilt.load
Include /etc/apache2/mods-enabled/vardfilt.conf
Include /etc/apache2/conf-enabled/vardomar-admin.conf
# Mapped visitors logged as well, to show the fail2ban filter ignores them.
IsapiFilterLogLevel warn notice
DocumentRoot "{root}/htdocs"
<Directory "{root}/htdocs">
    Require all granted
</Directory>
<Directory "{site}">
    AuthType Basic
    AuthName "Package site"
    AuthBasicProvider file
    AuthUserFile "{passwd}"
    Require valid-user
</Directory>
""".format(root=self.root, site=site, passwd=passwd)
        path = os.path.join(self.root, "httpd.conf")
        with open(path, "w") as f:
            f.write(conf)
        return path

    def test_install_use_and_purge(self):
        run("apt-get", "install", "-y", "-qq", DEB, env=APT_ENV)
        # The first installation's state: private to the web server's user.
        for path, mode in (("/var/lib/vardomar", 0o700), ("/var/lib/vardomar/backup", 0o700),
                           ("/var/lib/vardomar/vardomar.cfg", 0o600)):
            st = os.stat(path)
            self.assertEqual((st.st_mode & 0o777, st.st_uid), (mode, harness.pwd.getpwnam(
                "www-data").pw_uid), path)
        self.assertIn("/var/lib/vardomar/vardomar.cfg", run("vardcfg", "location", "show"))
        run("a2enmod", "-q", "vardfilt", "cgid")
        run("a2enconf", "-q", "vardomar-admin")

        port = harness.free_port()
        run("vardcfg", "account", "add", "webstaff", stdin="staff-pw\n")
        run("vardcfg", "authority", "add", "Site")
        run("vardcfg", "binding", "add", "127.0.0.1", str(port), "Site")
        run("vardcfg", "user", "add", "Site", "alice", "--map-to", "webstaff", "--no-expiry",
            stdin="alice-pw\n")
        # Saved by root, still the web server's own file.
        st = os.stat("/var/lib/vardomar/vardomar.cfg")
        self.assertEqual((st.st_mode & 0o777, st.st_uid),
                         (0o600, harness.pwd.getpwnam("www-data").pw_uid))
        # The only findings may be the empty expiration dates every user without one has.
        check = subprocess.run(["vardcfg", "check"], capture_output=True, text=True)
        self.assertNotEqual(check.returncode, 2, check.stderr)
        self.assertNotIn("missing", check.stdout)
        self.assertNotIn("password", check.stdout)

        log = os.path.join(self.root, "error.log")
        self.apache = harness.Apache(self.write_conf(port), port, log).start()
        self.assertEqual(harness.request(port, "/protected/", "alice", "alice-pw").status, 200)
        refusals = [("alice", "wrong"), ("mallory", "guess"), ('x" refused', "y"), ("carol\n", "z")]
        for user, password in refusals:
            self.assertEqual(harness.request(port, "/protected/", user, password).status, 401)
        # The administration programs answer this machine under a loopback name only.
        self.assertEqual(harness.request(port, "/vardomar/vardadmin").status, 200)
        self.assertEqual(harness.request(port, "/vardomar/vardadmin", host="evil.example").status,
                         403)
        self.apache.stop()
        self.apache = None

        text = harness.read_text(log)
        self.assertIn('vardfilt: accepted user "alice": mapped to webstaff', text)
        # Every refusal is found and nothing else, whatever the name pretends.
        self.assertIn('vardfilt: refused user "x" refused": 401 Access Denied', text)
        out = run("fail2ban-regex", "--print-all-missed", log,
                  "/etc/fail2ban/filter.d/vardomar.conf")
        self.assertRegex(out, r"Lines: \d+ lines, 0 ignored, %d matched" % len(refusals))
        self.assertRegex(out, r"Missed line\(s\):(.|\n)*accepted user \"alice\"")

        run("a2disconf", "-q", "vardomar-admin")
        run("a2dismod", "-q", "vardfilt")
        purge = subprocess.run(["apt-get", "purge", "-y", "vardomar"], env=APT_ENV,
                               capture_output=True, text=True, check=True)
        self.assertIn("purging removes the configuration", purge.stdout + purge.stderr)
        left = [p for p in PACKAGE_PATHS if os.path.lexists(p)]
        self.assertEqual(left, [])
        self.assertNotEqual(subprocess.run(["dpkg", "-s", "vardomar"],
                                           capture_output=True).returncode, 0)


if __name__ == "__main__":
    if len(sys.argv) != 2 or not os.geteuid() == 0:
        sys.exit("usage (as root): package_test.py dist/vardomar_VERSION_ARCH.deb")
    DEB = os.path.abspath(sys.argv.pop())
    unittest.main()
