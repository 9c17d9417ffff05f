#!/usr/bin/env python3
# Writes layout_expected.txt: the parameter file that the configuration of
# SampleConfig() in layout_writer_test.cpp must produce (gate open), built
# here independently with Python's own printf formatting.
import math
import struct


def f32(x):
    return struct.unpack('<f', struct.pack('<f', x))[0]


def ff(x):
    x = f32(x)
    if math.isnan(x):
        return ('-' if math.copysign(1, x) < 0 else '+') + 'NAN'
    return '%f' % x


def fe(x):
    return '%e' % f32(x)


def salt_value(p, s):
    if p == 0:
        return {0: 99.5, 1: 100.0, 2: 150.0, 3: float('nan')}.get(s, 100.0 + s)
    return {0: 99.99, 5: 0.0}.get(s, 200.0)


L = []
L += ['', '2001 float  %s\t\t # Serial' % ff(123.0), '']
L += ['2023 float  %s\t\t # OilAdjust' % ff(1.5), '2025 float  %s\t\t # WaterAdjust' % ff(-2.25),
      '2031 float  %s\t\t # OilIndex' % ff(0.1), '2033 float  %s\t\t # WaterIndex' % ff(12345.678)]
L += ['', '# Set-1 -----------------------------------------------------------', '']
L += ['53009 float  %s\t\t # P.D.Freq' % ff(50.5), '53011 ushort %d\t\t # P.D.Thres' % 65535,
      '53012 float  %s\t\t # N.S.Start' % ff(0.001), '53014 float  %s\t\t # N.S.End' % ff(1e-7),
      '53018 ushort %d\t\t # ModAnalyzer' % 4]
L += ['', '# Set-2 -----------------------------------------------------------', '']
L += ['53027 sshort %d\t\t# NShift' % -123, '53030 float  %s\t\t# DAC P0' % fe(0.00125),
      '53032 float  %s\t\t# DAC P1' % fe(-3.5e7)]
for p in range(2):
    B = [53300, 53600][p]
    L += ['', '# Phase: %d ------------------------------------------------------------' % p, '']
    L += ['%d ushort %d\t\t# SG1CrossN' % (B + 1, 10 + p), '%d float  %s\t\t# SG1Start' % (B + 2, ff(1.25)),
          '%d float  %s\t\t# SG1End' % (B + 4, ff(2.5)), '%d ushort %d\t\t# SG2CrossN' % (B + 6, 7),
          '%d float  %s\t\t# SG2Win' % (B + 7, ff(0.5))]
    for s in range(10):
        W = [54000, 55000][p] + 30 * s
        salt = salt_value(p, s)
        L += ['', '# Salt: %d ' % s, '', '%d float  %s\t\t# Salt' % (W + 1, ff(salt))]
        if f32(salt) < 100.0:
            L += ['%d float  %s\t\t# XMean' % (W + 3, fe(0.5 + s)), '%d float  %s\t\t# XStd' % (W + 5, fe(-0.03125)),
                  '%d float  %s\t\t# YMean' % (W + 7, fe(1e-5)), '%d float  %s\t\t# YStd' % (W + 9, fe(1e20))]
            L += ['%d float  %s\t\t# P[%d]' % (W + 11 + 2 * i, fe(i * 0.25 - 1), i) for i in range(10)]
L += ['', '# Density correction --------------------------------------------------', '']
L += ['56001 ushort %d\t\t# Enable' % 1, '56002 float  %s\t\t# RoCurr' % fe(850.5),
      '56004 float  %s\t\t# RoMin' % fe(800.0), '56006 float  %s\t\t# RoMax' % fe(900.0),
      '56008 float  %s\t\t# P1' % fe(1e-3), '56010 float  %s\t\t# P2' % fe(-2e-4), '56012 float  %s\t\t# P3' % fe(3.0),
      '56014 float  %s\t\t# Mean' % fe(0.1), '56016 float  %s\t\t# Std' % fe(0.01)]
for p, (mode, pcount) in enumerate([(0, 0), (1, 25)]):
    Q = [57000, 57300][p]
    L += ['', '# Point set, phase: %d ------------------------------------------------------' % p, '']
    L += ['%d ushort %d\t\t# Mode' % (Q + 1, mode), '%d float  %s\t\t# T0' % (Q + 2, fe(20.0)),
          '%d float  %s\t\t# Salt' % (Q + 4, fe(35.5)), '%d float  %s\t\t# XMean' % (Q + 6, fe(1.0)),
          '%d float  %s\t\t# XStd' % (Q + 8, fe(2.0)), '%d float  %s\t\t# YMean' % (Q + 10, fe(3.0)),
          '%d float  %s\t\t# YStd' % (Q + 12, fe(4.0))]
    L += ['%d float  %s\t\t# P[%d]' % (Q + 14 + 2 * i, fe(-float(i)), i) for i in range(10)]
    n = min(pcount, 20)
    L += ['%d ushort %d\t\t# PCount' % (Q + 34, n)]
    for i in range(n):
        L += ['%d float  %s\t\t# P[%d]' % (Q + 35 + 4 * i, fe(i + 0.5), i),
              '%d float  %s\t\t# W[%d]' % (Q + 37 + 4 * i, fe(-(i * 0.125)), i)]
with open('layout_expected.txt', 'wb') as out:
    out.write(''.join(line + '\r\n' for line in L).encode('ascii'))
