#!/usr/bin/python3
"""Writes ReferenceValues.csv: effectiveness values, limits and inverse Ntu values of the newer
flow configurations, computed with 50-digit arithmetic (python3-mpmath from Debian) from the
textbook formulas, independently of the C++ code.

Run once from anywhere; the table is committed:  /usr/bin/python3 make_reference_values.py

Columns: flow, Cr, Ntu, e, NtuOfE.
- A row with a finite Ntu gives e at (Cr, Ntu). NtuOfE is the Ntu that reaches the double nearest
  to e exactly (so an inverse is judged by its own error, not by the rounding of e); empty where
  Ntu = 0.
- A row with Ntu "inf" gives in e the limit the configuration approaches as Ntu grows.
Exact unmixed cross flow is evaluated in two independent ways, the series of regularised
incomplete gamma functions and an integral over the characteristic function, and the two must
agree to 28 digits (fewer where Cr Ntu < 1, as the integral form loses digits there) wherever
both are evaluated.
"""

import csv
import os

from mpmath import mp, mpf, exp, log, sqrt, sin, cos, pi, quad, gammainc, findroot, inf

mp.dps = 50

CRS = ["0", "1e-9", "0.1", "0.25", "0.5", "0.75", "0.9", "0.999999", "1"]
NTUS = ["0", "1e-8", "0.01", "0.1", "0.5", "1", "2", "3", "5", "7.5", "10"]
# Exact cross flow beyond the chart: the inverse needs it, and each way of evaluating it. At large
# Ntu only Cr near 1 leaves e measurably below 1 (and keeps the integral free of fast oscillation).
EXACT_CRS = ["0.5", "0.9", "1"]
EXACT_NTUS = ["15", "30", "31", "100", "1000"]
EXACT_FAR = [("1", "1e4"), ("0.97", "1e4"), ("1", "1e5"), ("0.99", "1e5"), ("1", "9e5"),
             ("0.997", "9e5"), ("1", "1.1e6"), ("0.997", "1.1e6"), ("1", "1e8"), ("0.9997", "1e8")]


def zero_cr(ntu):
    return 1 - exp(-ntu)


def exact_series(cr, ntu):
    """1 / b * sum_{n >= 1} P(n, a) P(n, b), P the regularised lower incomplete gamma."""
    a, b = ntu, cr * ntu
    total, n = mpf(0), 1
    while True:
        term = gammainc(n, 0, a, regularized=True) * gammainc(n, 0, b, regularized=True)
        total += term
        if n > a + 10 and term < mpf(10) ** -60:
            return total / b
        n += 1


def exact_integral(cr, ntu):
    """1 - E[(Y - X)^+] / b with X, Y Poisson of means a, b and
    E|Y - X| = 1 / pi * int_0^pi (1 - Re phi(t)) / (1 - cos t) dt."""
    a, b = ntu, cr * ntu

    def f(t):
        h = 2 * sin(t / 2) ** 2  # 1 - cos t
        if h == 0:
            return (a + b) + (b - a) ** 2
        return (1 - exp(-(a + b) * h) * cos((b - a) * sin(t))) / h

    width = 1 / sqrt(a + b)
    points = [mpf(0)] + [width * k for k in (1, 2, 4, 8, 16, 32, 64, 128) if width * k < pi]
    mean_abs = quad(f, points + [pi]) / pi
    return 1 - (mean_abs + b - a) / 2 / b


def exact(cr, ntu, check=True):
    if ntu == 0:
        return mpf(0)
    if cr == 0:
        return zero_cr(ntu)
    if ntu > 100:
        return exact_integral(cr, ntu)
    series = exact_series(cr, ntu)
    if check:
        # The integral form loses digits as 1 / (Cr Ntu) when Cr Ntu is small.
        integral = exact_integral(cr, ntu)
        assert abs(series - integral) < mpf(10) ** -28 * max(1, 1 / (cr * ntu)), (cr, ntu)
    return series


def check_truncation_bound():
    """The bound that stops the regrouped series of relations/CrossFlowExact.cpp, verified with
    the exact remainders: with s <= l, e = sum_k g_k S_k, g_k = exp(-s) s^(k-1) / k!,
    S_k = sum_{n <= k} P(L >= n), the terms after the K-th add at most 2 s g_K P(L >= 1) once
    K + 1 >= 2 s. Returns the number of terms it takes at Cr = 1, Ntu = 10 for the bound to fall
    below 2^-53 of the sum."""
    terms_at_corner = None
    for cr, ntu in [(1, 10), (1, 1), (0.5, 10), (0.1, 3), (1, mpf("0.01"))]:
        s, l = mpf(cr) * ntu, mpf(ntu)
        e = exact(mpf(cr), mpf(ntu), False)
        tail_l1 = gammainc(1, 0, l, regularized=True)
        partial, total = mpf(0), mpf(0)
        for k in range(1, 120):
            partial += gammainc(k, 0, l, regularized=True)
            g = exp(-s) * s ** (k - 1) / mp.factorial(k)
            total += g * partial
            if k + 1 < 2 * s:
                continue
            bound = 2 * s * g * tail_l1
            if bound < mpf(10) ** -40:  # the remainder is lost in the 50-digit rounding
                break
            assert e - total <= bound, (cr, ntu, k)
            if (cr, ntu) == (1, 10) and terms_at_corner is None and bound <= total / 2**53:
                terms_at_corner = k
    return terms_at_corner


def mixed_cmin(cr, ntu):
    return zero_cr(ntu) if cr == 0 else 1 - exp(-(1 - exp(-cr * ntu)) / cr)


def mixed_cmax(cr, ntu):
    return zero_cr(ntu) if cr == 0 else (1 - exp(-cr * (1 - exp(-ntu)))) / cr


def shell_one(cr, ntu):
    if ntu == 0:
        return mpf(0)
    s = sqrt(1 + cr * cr)
    return 2 / (1 + cr + s * (1 + exp(-ntu * s)) / (1 - exp(-ntu * s)))


def shells(n):
    def relation(cr, ntu):
        e1 = shell_one(cr, ntu / n)
        if cr == 1:
            return n * e1 / (1 + (n - 1) * e1)
        r = ((1 - e1 * cr) / (1 - e1)) ** n
        return (r - 1) / (r - cr)

    return relation


def shell_one_ntu(cr, e):
    s = sqrt(1 + cr * cr)
    return log((2 - e * (1 + cr - s)) / (2 - e * (1 + cr + s))) / s


def shells_ntu(n):
    def inverse(cr, e):
        if cr == 1:
            e1 = e / (n - (n - 1) * e)
        else:
            f = ((e * cr - 1) / (e - 1)) ** (mpf(1) / n)
            e1 = (f - 1) / (f - cr)
        return n * shell_one_ntu(cr, e1)

    return inverse


def limit_shells(n):
    def limit(cr):
        e1 = 2 / (1 + cr + sqrt(1 + cr * cr))
        if cr == 0:
            return mpf(1)
        if cr == 1:
            return n * e1 / (1 + (n - 1) * e1)
        r = ((1 - e1 * cr) / (1 - e1)) ** n
        return (r - 1) / (r - cr)

    return limit


def exact_ntu(cr, e, guess):
    # The root lies next to the Ntu that gave e; a bracketing solver keeps Ntu positive.
    bracket = (mpf(guess) * (1 - mpf(10) ** -6), mpf(guess) * (1 + mpf(10) ** -6))
    return findroot(lambda x: exact(cr, x, False) - e, bracket, solver="illinois",
                    tol=mpf(10) ** -60)


FLOWS = {
    # name: (relation, inverse or None for a root search, limit)
    "CrossFlowExact": (exact, None, lambda cr: mpf(1)),
    "CrossFlowMixedCmin": (
        mixed_cmin,
        lambda cr, e: -log(1 + cr * log(1 - e)) / cr,
        lambda cr: 1 - exp(-1 / cr) if cr else mpf(1),
    ),
    "CrossFlowMixedCmax": (
        mixed_cmax,
        lambda cr, e: -log(1 + log(1 - cr * e) / cr),
        lambda cr: (1 - exp(-cr)) / cr if cr else mpf(1),
    ),
    "ShellTube1": (shell_one, shell_one_ntu, limit_shells(1)),
    "ShellTube2": (shells(2), shells_ntu(2), limit_shells(2)),
    "ShellTube3": (shells(3), shells_ntu(3), limit_shells(3)),
}


def text(x):
    return mp.nstr(x, 21, min_fixed=-4, max_fixed=8, strip_zeros=False)


def row(name, cr_text, ntu_text):
    relation, inverse, _ = FLOWS[name]
    cr, ntu = mpf(cr_text), mpf(ntu_text)
    e = relation(cr, ntu)
    if ntu == 0:
        return [name, cr_text, ntu_text, text(e), ""]
    e_double = mpf(float(e))  # the double nearest to e, exactly
    if e_double >= FLOWS[name][2](cr):
        return [name, cr_text, ntu_text, text(e), ""]  # no Ntu reaches the rounded e
    if cr == 0:
        ntu_of_e = -log(1 - e_double)
    elif inverse is None:
        ntu_of_e = exact_ntu(cr, e_double, ntu)
    else:
        ntu_of_e = inverse(cr, e_double)
    return [name, cr_text, ntu_text, text(e), text(ntu_of_e)]


def main():
    print("exact cross flow at Cr = 1, Ntu = 10: truncation bound below 2^-53 of e after",
          check_truncation_bound(), "terms")
    rows = []
    for name, (_, _, limit) in FLOWS.items():
        for cr_text in CRS:
            for ntu_text in NTUS:
                rows.append(row(name, cr_text, ntu_text))
            rows.append([name, cr_text, "inf", text(limit(mpf(cr_text))), ""])
    for cr_text in EXACT_CRS:
        for ntu_text in EXACT_NTUS:
            rows.append(row("CrossFlowExact", cr_text, ntu_text))
    for cr_text, ntu_text in EXACT_FAR:
        # Forward values only: a root search over the integral takes too long.
        e = exact(mpf(cr_text), mpf(ntu_text))
        rows.append(["CrossFlowExact", cr_text, ntu_text, text(e), ""])
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "ReferenceValues.csv")
    with open(path, "w", newline="") as out:
        writer = csv.writer(out, lineterminator="\n")
        writer.writerow(["flow", "Cr", "Ntu", "e", "NtuOfE"])
        writer.writerows(rows)


if __name__ == "__main__":
    main()
