"""What the test scripts share: a failed check, and the path a program
under Wine sees for a host path."""

import os


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wine_path(host_path):
    """The path a program under Wine sees for a host path (drive Z: is /)."""
    return "Z:" + os.path.abspath(host_path).replace("/", "\\")
