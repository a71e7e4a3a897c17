"""The workflows of .github/workflows/: each one valid against the hosting's
workflow schema (action-validator, from npm), the Linux job running .ci/run,
and every step a one-line command of the repository (a script of its own or
cmake), so that nothing lives only in the workflow.

    python3 -B workflows_test.py SOURCE_DIR ACTION_VALIDATOR
"""

import glob
import os
import re
import subprocess
import sys
import unittest

if len(sys.argv) != 3:
    sys.exit(__doc__)
SOURCE, VALIDATOR = sys.argv[1], sys.argv[2]
WORKFLOWS = sorted(glob.glob(os.path.join(SOURCE, ".github", "workflows", "*.yml")))

# Commands a step may run that are not files of the repository.
TOOLS = {"cmake", "apt-get"}
JOB = re.compile(r"^  ([A-Za-z0-9_-]+):\s*$")
RUN = re.compile(r"^\s+(?:- )?run:\s*(.*)$")


def steps_by_job(path):
    """{job: [run command, ...]} for the steps of each job."""
    jobs, job, in_steps = {}, None, False
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("jobs:"):
                job = None
            elif JOB.match(line):
                job, in_steps = JOB.match(line).group(1), False
                jobs[job] = []
            elif job and line.strip() == "steps:":
                in_steps = True
            elif job and in_steps and RUN.match(line):
                jobs[job].append(RUN.match(line).group(1).strip())
    return jobs


class Workflows(unittest.TestCase):
    def test_there_are_workflows(self):
        self.assertTrue(WORKFLOWS, "no .github/workflows/*.yml")

    def test_each_workflow_passes_the_schema_validator(self):
        for path in WORKFLOWS:
            with self.subTest(workflow=os.path.basename(path)):
                done = subprocess.run([VALIDATOR, path], capture_output=True, text=True)
                self.assertEqual(done.returncode, 0, done.stdout + done.stderr)

    def test_the_linux_job_runs_the_readme_test_command_through_ci_run(self):
        linux = [steps_by_job(p).get("linux", []) for p in WORKFLOWS]
        self.assertIn("bash .ci/run", sum(linux, []))

    def test_every_step_is_a_one_line_command_of_the_repository(self):
        for path in WORKFLOWS:
            for job, commands in steps_by_job(path).items():
                for command in commands:
                    with self.subTest(job=job, command=command):
                        self.assertNotIn(command[:1], ("|", ">", ""), "a script in the workflow")
                        words = command.split()
                        first = words[1] if words[0] in ("sh", "bash") else words[0]
                        self.assertTrue(first in TOOLS or
                                        os.path.isfile(os.path.join(SOURCE, first)),
                                        "%s is neither a file of the repository nor %s"
                                        % (first, " or ".join(sorted(TOOLS))))


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
