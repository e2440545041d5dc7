"""Simulation-side value classes that need no engine."""

from ._enum import Enumeration, make_members
from ._support import MODULE, finish_class


class EpochState(Enumeration):
    "The lifecycle state of an epoch."
    __slots__ = ()
    __module__ = MODULE


make_members(EpochState, ("Startable", "Running", "Finished"))
finish_class(EpochState)
