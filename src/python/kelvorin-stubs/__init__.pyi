"""Graph-state based quantum circuit simulator exposed as the `kelvorin` Python module."""

from typing import ClassVar, SupportsIndex, final

__all__ = ["MeasurementResult", "Outcome", "Axis", "Kelvorin"]

@final
class MeasurementResult:
    """Result of a single-qubit measurement.

    Exposed to Python as `kelvorin.MeasurementResult`.
    """

    PlusOne: ClassVar[MeasurementResult]
    """Eigenvalue +1 (outcome bit 0)."""
    MinusOne: ClassVar[MeasurementResult]
    """Eigenvalue -1 (outcome bit 1)."""
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __int__(self, /) -> int:
        """0 for `PlusOne`, 1 for `MinusOne`."""
    def __eq__(self, value: object, /) -> bool:
        """Equal to a `MeasurementResult` of the same value or to the integer 0 / 1."""
    def __ne__(self, value: object, /) -> bool: ...

@final
class Axis:
    X: ClassVar[Axis]
    """The X axis; `int()` gives 0."""
    Y: ClassVar[Axis]
    """The Y axis; `int()` gives 1."""
    Z: ClassVar[Axis]
    """The Z axis; `int()` gives 2."""
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __int__(self, /) -> int:
        """0, 1 or 2 for X, Y, Z."""
    def __eq__(self, value: object, /) -> bool:
        """Equal to an `Axis` of the same value or to the integer 0, 1 or 2."""
    def __ne__(self, value: object, /) -> bool: ...

@final
class Outcome:
    """Measurement outcome and the axis that was measured.

    Returned in the values of `peek_measure_set`.
    """

    @property
    def result(self) -> MeasurementResult:
        """The outcome, a new `MeasurementResult` on every read."""
    @property
    def axis(self) -> Axis:
        """The axis measured, a new `Axis` on every read."""

@final
class Kelvorin:
    """Simulator for graph states over a fixed number of qubits.

    Use this class from Python to apply gates and perform measurements.
    Every qubit starts in |0>.  An index at or beyond `qubit_amount` raises
    `PanicException` (a `BaseException`); a negative or too large integer
    `OverflowError`, a non-integer `TypeError`.
    """

    def __new__(cls, qubit_amount: SupportsIndex) -> Kelvorin:
        """`qubit_amount` qubits in |0>; memory grows as qubit_amount**2 / 8 bytes (`MemoryError` when too large)."""
    def x(self, /, qubit: SupportsIndex) -> None:
        """Apply an X (Pauli-X) gate to the given qubit."""
    def y(self, /, qubit: SupportsIndex) -> None:
        """Apply a Y (Pauli-Y) gate to the given qubit."""
    def z(self, /, qubit: SupportsIndex) -> None:
        """Apply a Z (Pauli-Z) gate to the given qubit."""
    def h(self, /, qubit: SupportsIndex) -> None:
        """Apply an H (Hadamard) gate to the given qubit."""
    def s(self, /, qubit: SupportsIndex) -> None:
        """Apply an S (phase) gate, diag(1, i), to the given qubit."""
    def sdag(self, /, qubit: SupportsIndex) -> None:
        """Apply an S† (inverse phase) gate, diag(1, -i), to the given qubit."""
    def cz(self, /, control: SupportsIndex, target: SupportsIndex) -> None:
        """Apply a controlled-Z (CZ) gate with `control` and `target` qubits."""
    def cx(self, /, control: SupportsIndex, target: SupportsIndex) -> None:
        """Apply a controlled-X (CX) / CNOT gate with `control` and `target`."""
    def xcx(self, /, control: SupportsIndex, target: SupportsIndex) -> None:
        """Apply X to `target` when `control` is in |->."""
    def ycx(self, /, control: SupportsIndex, target: SupportsIndex) -> None:
        """Apply X to `target` when `control` is in |-i>."""
    def xcz(self, /, control: SupportsIndex, target: SupportsIndex) -> None:
        """Apply Z to `target` when `control` is in |-> (a CX from `target` to `control`)."""
    def ycz(self, /, control: SupportsIndex, target: SupportsIndex) -> None:
        """Apply Z to `target` when `control` is in |-i>."""
    def cy(self, /, control: SupportsIndex, target: SupportsIndex) -> None:
        """Apply a controlled-Y (CY) gate with `control` and `target`."""
    def xcy(self, /, control: SupportsIndex, target: SupportsIndex) -> None:
        """Apply Y to `target` when `control` is in |->."""
    def ycy(self, /, control: SupportsIndex, target: SupportsIndex) -> None:
        """Apply Y to `target` when `control` is in |-i>."""
    def measure_x(self, /, qubit: SupportsIndex) -> MeasurementResult:
        """Perform a projective measurement of `qubit` in the X basis."""
    def measure_y(self, /, qubit: SupportsIndex) -> MeasurementResult:
        """Perform a projective measurement of `qubit` in the Y basis."""
    def measure_z(self, /, qubit: SupportsIndex) -> MeasurementResult:
        """Perform a projective measurement of `qubit` in the Z basis."""
    def get_entangled_group(self, /, qubit: SupportsIndex) -> set[int]:
        """Return the set of qubits that are entangled with `qubit`, itself included."""
    def peek_measure_set[Q: SupportsIndex](self, /, qubits: set[Q] | frozenset[Q]) -> dict[int, Outcome]:
        """Simulate measurements on a set of `qubits` without modifying the real state.

        Returns a map from qubit index to `Outcome` (result and axis used).
        """
