"""Two Apache servers sharing one configuration on a GlusterFS volume (farm.py): a change made
through one server is in force on the other within 2 s, saves made through both at the same
moments all land, and load on both while the configuration is saved meets no error."""

import concurrent.futures
import os
import shutil
import subprocess
import threading
import time
import unittest

import farm
import harness
from system_test import GUARDED, RECORD, admin

# What a visitor may wait for a change made on another server: the reload check interval (1 s)
# plus the volume's propagation (milliseconds with the caches the README recommends).
PROPAGATION_S = 2.0


def user_fields(user, password, disabled=False):
    fields = dict(User=user, Pass=password, MapTo="ON", NTAcc="webstaff", Expire="",
                  noexpiration="1")
    if disabled:
        fields["disabled"] = "1"
    return fields


class FarmTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        if not harness.running_as_root():
            raise unittest.SkipTest("mounting a volume needs root")
        if shutil.which("glusterd") is None:
            subprocess.run([os.path.join(harness.SOURCE, "scripts", "deps"), "--farm"],
                           check=True)
        cls.root = harness.temp_dir("vardomar-farm-")
        farm.on_teardown(lambda: shutil.rmtree(cls.root, ignore_errors=True))
        volume = farm.Volume(cls.root, ["m1", "m2"]).start()
        cls.farm = farm.Farm(cls.root, volume.mounts, 1000).start()
        cls.a, cls.b = cls.farm.port(0), cls.farm.port(1)

    @classmethod
    def tearDownClass(cls):
        farm.teardown()

    def status(self, port, user, password):
        return harness.request(port, GUARDED, user, password).status

    def wait_for(self, ports, user, password, status):
        """Seconds until every server in `ports` answers `status`; fails after PROPAGATION_S."""
        start = time.monotonic()
        while True:
            if all(self.status(p, user, password) == status for p in ports):
                return time.monotonic() - start
            self.assertLess(time.monotonic() - start, PROPAGATION_S,
                            "%s not %d on %s" % (user, status, ports))
            time.sleep(0.05)

    def test_1_a_change_on_one_server_is_in_force_on_the_other(self):
        self.assertIn("added to authority", admin(self.a, "AddUserDo", Authority="Staff",
                                                   **user_fields("newcomer", "new-pw")))
        self.wait_for([self.b], "newcomer", "new-pw", 200)
        self.assertIn("changed in authority", admin(
            self.a, "ChangeUserDo", Authority="Staff",
            **user_fields("newcomer", "new-pw", disabled=True)))
        self.wait_for([self.a, self.b], "newcomer", "new-pw", 401)

    def test_2_saves_through_both_servers_at_once_all_land(self):
        def add_through_admin(i):
            return admin(self.a, "AddUserDo", Authority="Staff",
                         **user_fields("admin%02d" % i, "pw-a%d" % i))

        def add_through_site(i):
            r = harness.post_form(self.b, "vardsite", "AddUserDo",
                                  user_fields("site%02d" % i, "pw-s%d" % i),
                                  host="127.0.0.1:%d" % self.b)
            self.assertEqual(r.status, 200)
            return r.body

        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            pages = list(pool.map(lambda i: (add_through_admin(i), add_through_site(i)),
                                  range(20)))
        for admin_page, site_page in pages:
            self.assertIn("added to authority", admin_page)
            self.assertIn("added to authority", site_page)
        listed = farm.vardcfg("--config", self.farm.config(1), "user", "list", "Staff")
        for i in range(20):
            self.assertIn("admin%02d" % i, listed)
            self.assertIn("site%02d" % i, listed)

    def test_3_load_on_both_while_the_configuration_is_saved(self):
        loads = [farm.wrk(port, 10) for port in (self.a, self.b)]
        for i in range(20):
            time.sleep(0.4)
            server = (self.a, self.b)[i % 2]
            self.assertIn("changed in authority", admin(
                server, "ChangeUserDo", Authority="Staff",
                **user_fields("newcomer", "pw-%d" % i)))
        reports = [load.communicate(timeout=60)[0] for load in loads]
        for report, load in zip(reports, loads):
            self.assertEqual(load.returncode, 0, report)
            # Any answer but 200 (a 5xx, a refusal of the load's user) is counted as non-2xx.
            self.assertNotIn("Non-2xx", report)
            self.assertNotIn("Socket errors", report)
            self.assertGreater(farm.requests_per_second(report), 10, report)
        for i in range(2):
            lines = harness.read_text(self.farm.event_log(i)).splitlines()
            self.assertGreater(len(lines), 100)
            self.assertEqual([l for l in lines if not RECORD.match(l)], [])
            # Each server copied the configurations it replaced into its own directory.
            self.assertTrue(os.listdir(self.farm.backups(i)))
        for port in (self.a, self.b):
            self.assertNotIn("filter failed", harness.read_text(
                os.path.join(self.farm.root, "server%d" % (port != self.a), "logs", "error.log")))


if __name__ == "__main__":
    unittest.main()
