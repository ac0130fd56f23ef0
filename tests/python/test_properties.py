"""Runs the property tests of properties.py with the hypothesis that
requirements/test.txt pins. Without it, or with another version, the file
is reported as skipped (pinned.py), never as passed."""

import pinned


def load_tests(loader, tests, pattern):
    reason = pinned.skip_reason("property tests", "test.txt", "hypothesis")
    if reason:
        return pinned.skipped_suite(reason)
    import properties

    return loader.loadTestsFromModule(properties)
