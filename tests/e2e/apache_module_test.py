"""The Apache host module against a scripted filter library (stub_filter.c): how each answer of a
filter becomes Apache's answer, what the filter is offered, and the configurations that must not
let requests through unjudged."""

import concurrent.futures
import os
import shutil
import ssl
import subprocess
import unittest

import harness

MODULE = os.path.join(harness.BIN, "mod_vardfilt.so")
STUB = os.environ.get("VARD_STUB_FILTER", "")
WHOAMI = os.path.join(harness.SOURCE, "apache", "www", "protected", "whoami.cgi")
REALM = "Stub realm"
# What a program behind the guard learns: the Authorization header passed on to it and the site
# variables the module sets for the site manager.
ENV_CGI = """#!/bin/sh
printf 'Content-Type: text/plain\\r\\n\\r\\n'
printf 'auth=%s;site=%s;port=%s' "$HTTP_AUTHORIZATION" "${VARDOMAR_SITE_NAME-unset}" \\
  "$VARDOMAR_SITE_PORT"
"""


def write_site(root, library, extra=""):
    """A server whose /protected/ sits behind the module and, for what the filter passes on,
    behind a password file holding the user "plain" (password "filepw")."""
    port = harness.free_port()
    site = os.path.join(root, "protected")
    os.makedirs(site)
    harness.make_reachable(site)
    shutil.copy(WHOAMI, site)
    os.makedirs(os.path.join(site, "pass"))
    harness.make_reachable(os.path.join(site, "pass"))
    for where in (site, os.path.join(site, "pass")):
        with open(os.path.join(where, "env.cgi"), "w") as f:
            f.write(ENV_CGI)
        os.chmod(os.path.join(where, "env.cgi"), 0o755)
    with open(os.path.join(site, "index.html"), "w") as f:
        f.write("<p>guarded</p>\n")
    # {SHA} of "filepw", as htpasswd -s writes it.
    with open(os.path.join(root, "passwd"), "w") as f:
        f.write("plain:{SHA}T8C8/awoL4iqwQDp2y2vSDvIHdw=\n")
    os.chmod(os.path.join(root, "passwd"), 0o644)
    library_copy = library
    if library and os.path.exists(library):
        library_copy = os.path.join(root, os.path.basename(library))
        shutil.copy(library, library_copy)
    conf = harness.base_conf(root, port) + """
LoadModule vardfilt_module "{module}"
{directive}
StartServers 2
MinSpareThreads 4
MaxSpareThreads 16
ThreadsPerChild 4
ServerLimit 4
MaxRequestWorkers 16
DocumentRoot "{root}"
<Directory "{root}">
    Require all granted
</Directory>
<Directory "{site}">
    Options +ExecCGI
    AddHandler cgi-script .cgi
    CGIPassAuth On
    AuthType Basic
    AuthName "{realm}"
    AuthBasicProvider file
    AuthUserFile "{root}/passwd"
    Require valid-user
</Directory>
<Directory "{site}/pass">
    IsapiFilterPassCredentials On
</Directory>
{extra}
""".format(module=MODULE, directive=('IsapiFilter "%s"' % library_copy) if library else "",
           root=root, site=site, realm=REALM, extra=extra.replace("@PORT@", str(port)))
    path = os.path.join(root, "httpd.conf")
    with open(path, "w") as f:
        f.write(conf)
    return path, port


def start(name, library=STUB, env=None, extra=""):
    root = harness.temp_dir("vardfilt-%s-" % name)
    conf, port = write_site(root, library, extra)
    return harness.Apache(conf, port, os.path.join(root, "error.log"), env).start(), root


def whoami(port, user=None, password=None, path="/protected/whoami.cgi", **kw):
    return harness.request(port, path, user, password, **kw)


class FilterAnswers(unittest.TestCase):
    """One server with the stub asking for every port kind, several children of several threads."""

    @classmethod
    def setUpClass(cls):
        cls.apache, cls.root = start("answers")
        cls.port = cls.apache.port

    @classmethod
    def tearDownClass(cls):
        cls.apache.stop()
        shutil.rmtree(cls.root, ignore_errors=True)

    def test_mapping_runs_the_request_as_the_account(self):
        r = whoami(self.port, "map", "webstaff")
        self.assertEqual(r.status, 200, r.body)
        self.assertEqual(r.cell("remote-user"), "webstaff")
        self.assertEqual(r.cell("auth-type"), "Basic")
        # Neither the visitor's credentials nor the account's reach the program behind.
        self.assertEqual(r.cell("passed-user"), "")
        r = whoami(self.port, "map", "webstaff", path="/protected/env.cgi")
        self.assertTrue(r.body.startswith("auth=;"), r.body)
        # Only where the directive asks for them, the account's credentials are passed on.
        r = whoami(self.port, "map", "webstaff", path="/protected/pass/env.cgi")
        self.assertTrue(r.body.startswith("auth=%s;" % harness.basic("webstaff", "mapped-pw")),
                        r.body)
        # Credentials the filter passes on unchanged stay as the visitor sent them.
        r = whoami(self.port, "plain", "filepw", path="/protected/env.cgi")
        self.assertTrue(r.body.startswith("auth=%s;" % harness.basic("plain", "filepw")), r.body)
        # A static page is served as well: no CGI needed to benefit from the mapping.
        self.assertEqual(harness.request(self.port, "/protected/index.html", "map", "x").status,
                         200)

    def test_refusals_carry_the_filters_status_line(self):
        r = whoami(self.port, "deny", "401 Access Denied")
        self.assertEqual((r.status, r.reason), (401, "Access Denied"))
        self.assertEqual(r.header("WWW-Authenticate"), 'Basic realm="%s"' % REALM)

        r = whoami(self.port, "denyh", "")
        self.assertEqual((r.status, r.reason), (401, "Access Denied"))
        self.assertEqual(r.header("X-Stub"), "refused")

        r = whoami(self.port, "deny", "403 Not for you")
        self.assertEqual((r.status, r.reason), (403, "Not for you"))
        self.assertIsNone(r.header("WWW-Authenticate"))

        # A "refusal" that is no refusal must not let the request through.
        self.assertEqual(whoami(self.port, "deny", "200 OK").status, 500)

    def test_a_malformed_status_line_is_not_sent(self):
        # The filter's call fails, so nothing was sent: Apache's own provider decides, and it
        # does not know the user "deny".
        for line in ("401 Access\r\nSet-Cookie: x=1", "4O1 Access Denied", ""):
            r = whoami(self.port, "deny", line)
            self.assertEqual((r.status, r.reason), (401, "Unauthorized"), line)
            self.assertIsNone(r.header("Set-Cookie"))

    def test_errors_become_500_with_the_code_in_the_log(self):
        self.assertEqual(whoami(self.port, "error", "1610").status, 500)
        self.assertIn("filter failed the request: error 1610 (bad configuration)", self.apache.log())
        self.assertEqual(whoami(self.port, "odd", "").status, 500)
        self.assertIn("unsupported status 0x8000005", self.apache.log())

    def test_passed_on_credentials_are_judged_by_apache(self):
        for user in ("plain", "same", "next"):
            r = whoami(self.port, user, "filepw")
            if user == "plain":
                self.assertEqual(r.status, 200)
                self.assertEqual(r.cell("remote-user"), "plain")
            else:
                self.assertEqual((r.status, r.reason), (401, "Unauthorized"), user)
        self.assertEqual(whoami(self.port, "plain", "wrong").status, 401)
        r = whoami(self.port)
        self.assertEqual(r.status, 401)
        self.assertEqual(r.header("WWW-Authenticate"), 'Basic realm="%s"' % REALM)

    def test_credentials_too_long_for_the_buffers_never_reach_the_filter(self):
        # Cut to 256 bytes they would map; shown whole they are Apache's to judge, and it refuses.
        self.assertEqual(whoami(self.port, "map", "a" * 256).status, 200)
        self.assertEqual(whoami(self.port, "map", "a" * 257).status, 401)
        self.assertEqual(whoami(self.port, "m" * 300, "x").status, 401)

    def test_a_filter_filling_the_whole_buffer_is_read_within_it(self):
        r = whoami(self.port, "fill", "")
        self.assertEqual(r.status, 200)
        self.assertEqual(r.cell("remote-user"), "a" * 256)

    def test_what_the_filter_is_offered(self):
        r = whoami(self.port, "vars", "", path="/protected/whoami.cgi/more/path?q=1",
                   host="127.0.0.1:%d" % self.port)
        self.assertEqual(r.status, 200, r.body)
        self.assertEqual(
            r.cell("remote-user"),
            "SERVER_NAME=127.0.0.1;SERVER_PORT=%d;SCRIPT_NAME=/protected/whoami.cgi;"
            "unknown=refused;caps=257/257;versions=1;secure=0" % self.port)

    def test_the_description_is_logged_once_per_child(self):
        log = self.apache.log()
        self.assertIn('loaded: "stub filter <for tests>", version 4.0, flags 0x42003', log)

    def test_concurrent_requests_each_get_their_own_answer(self):
        def one(i):
            account = "acct%03d" % i
            r = whoami(self.port, "map", account)
            return r.status, r.cell("remote-user"), account

        with concurrent.futures.ThreadPoolExecutor(max_workers=12) as pool:
            results = list(pool.map(one, range(240)))
        for status, seen, account in results:
            self.assertEqual((status, seen), (200, account))
        # Every child that answered loaded the library once.
        for _ in range(8):
            self.assertIn("versions=1;", whoami(self.port, "vars", "").cell("remote-user"))


class SiteFromTheVirtualHost(unittest.TestCase):
    """The site that chooses the binding is the virtual host Apache matched and the port the
    connection arrived on; the Host header cannot name another one."""

    @classmethod
    def setUpClass(cls):
        cls.apache, cls.root = start("vhost", extra="""
<VirtualHost 127.0.0.1:@PORT@>
    ServerName a.example
    ServerAlias b.example *.wild.example
</VirtualHost>
""")
        cls.port = cls.apache.port

    @classmethod
    def tearDownClass(cls):
        cls.apache.stop()
        shutil.rmtree(cls.root, ignore_errors=True)

    def test_the_filter_and_programs_see_the_matched_site(self):
        cases = [("b.example:%d" % self.port, "b.example", "b.example"),
                 ("B.Example", "b.example", "b.example"),
                 ("x.wild.example:%d" % self.port, "x.wild.example", "x.wild.example"),
                 # Another site's name, or a port of the client's choosing, changes nothing.
                 ("other.example:%d" % self.port, "a.example", "unset"),
                 ("127.0.0.1:%d" % self.port, "a.example", "unset"),
                 ("a.example:80", "a.example", "a.example")]
        for host, filter_site, program_site in cases:
            r = whoami(self.port, "vars", "", host=host)
            self.assertIn("SERVER_NAME=%s;SERVER_PORT=%d;" % (filter_site, self.port),
                          r.cell("remote-user"), host)
            r = whoami(self.port, "plain", "filepw", path="/protected/env.cgi", host=host)
            self.assertTrue(r.body.endswith(";site=%s;port=%d" % (program_site, self.port)),
                            (host, r.body))


class PortKinds(unittest.TestCase):
    """The filter is called only for the port kinds its flags name and only when it asks for the
    authentication step."""

    @classmethod
    def setUpClass(cls):
        cls.root = harness.temp_dir("vardfilt-tls-")
        key, cert = os.path.join(cls.root, "key.pem"), os.path.join(cls.root, "cert.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", cert],
                       check=True, capture_output=True)
        cls.tls_port = harness.free_port()
        cls.tls_extra = """
LoadModule ssl_module {modules}/mod_ssl.so
LoadModule socache_shmcb_module {modules}/mod_socache_shmcb.so
Listen 127.0.0.1:{port}
<VirtualHost 127.0.0.1:{port}>
    SSLEngine on
    SSLCertificateFile "{cert}"
    SSLCertificateKeyFile "{key}"
</VirtualHost>
""".format(modules=harness.MODULES, port=cls.tls_port, cert=cert, key=key)
        cls.tls = ssl.create_default_context()
        cls.tls.check_hostname = False
        cls.tls.verify_mode = ssl.CERT_NONE

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def run_with_flags(self, flags):
        apache, root = start("flags", env={"VARD_STUB_FLAGS": flags}, extra=self.tls_extra)
        try:
            plain = whoami(apache.port, "map", "acct").status
            secure = whoami(self.tls_port, "map", "acct", tls=self.tls).status
            return plain, secure, apache.log()
        finally:
            apache.stop()
            shutil.rmtree(root, ignore_errors=True)

    def test_secure_and_non_secure_ports(self):
        # 200: the filter mapped the user; 401: it was not asked and Apache refused "map".
        self.assertEqual(self.run_with_flags("2003")[:2], (200, 200))
        self.assertEqual(self.run_with_flags("2001")[:2], (401, 200))
        self.assertEqual(self.run_with_flags("2002")[:2], (200, 401))

    def test_a_filter_not_asking_for_authentication_is_never_called(self):
        plain, secure, log = self.run_with_flags("3")
        self.assertEqual((plain, secure), (401, 401))
        self.assertIn("does not ask for the authentication step", log)

    def test_the_secure_port_is_reported(self):
        apache, root = start("secure", extra=self.tls_extra)
        try:
            r = whoami(self.tls_port, "vars", "", tls=self.tls)
            self.assertTrue(r.cell("remote-user").endswith("secure=1"), r.body)
        finally:
            apache.stop()
            shutil.rmtree(root, ignore_errors=True)


class Misconfiguration(unittest.TestCase):
    def test_a_missing_library_stops_the_start(self):
        root = harness.temp_dir("vardfilt-missing-")
        try:
            conf, port = write_site(root, os.path.join(root, "no-such-filter.so"))
            result = subprocess.run([harness.APACHE, "-f", conf, "-t"], capture_output=True,
                                    text=True)
            apache = harness.Apache(conf, port, os.path.join(root, "error.log"))
            with self.assertRaises(RuntimeError):
                apache.start()
            self.assertIn("no-such-filter.so: no such file", apache.log() + result.stderr)
        finally:
            shutil.rmtree(root, ignore_errors=True)

    def test_a_library_that_is_no_filter_fails_closed(self):
        # The host module itself loads fine but exports neither entry point.
        apache, root = start("nofilter", library=MODULE)
        try:
            self.assertEqual(whoami(apache.port, "plain", "filepw").status, 500)
            self.assertIn("does not export GetFilterVersion", apache.log())
        finally:
            apache.stop()
            shutil.rmtree(root, ignore_errors=True)

    def test_the_directive_belongs_to_the_main_server(self):
        root = harness.temp_dir("vardfilt-vhost-")
        try:
            extra = "<VirtualHost 127.0.0.1:1>\n    IsapiFilter \"%s\"\n</VirtualHost>\n" % STUB
            conf, _ = write_site(root, None, extra)
            result = subprocess.run([harness.APACHE, "-f", conf, "-t"], capture_output=True,
                                    text=True)
            self.assertNotEqual(result.returncode, 0)
            self.assertIn("IsapiFilter", result.stderr)
        finally:
            shutil.rmtree(root, ignore_errors=True)

    def test_without_the_directive_apache_decides_alone(self):
        apache, root = start("nodirective", library=None)
        try:
            self.assertEqual(whoami(apache.port, "map", "acct").status, 401)
            self.assertEqual(whoami(apache.port, "plain", "filepw").status, 200)
        finally:
            apache.stop()
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
