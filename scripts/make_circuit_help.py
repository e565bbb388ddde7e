#!/usr/bin/env python3
"""Writes the help pages of the model circuits (help/10050.html ... 10064.html)
from the engine's built-in definitions (model/circuits.txt): each letter's
definition, a text drawing of the circuit made from the definition, what each
parameter means with its unit, and the example jobs of fittests/CKT.<letter>.

    scripts/make_circuit_help.py            (run from anywhere; rewrites the pages)
"""
import html
import os
import re

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TOPICS = {'A': 10051, 'B': 10052, 'C': 10053, 'D': 10054, 'E': 10055, 'F': 10056, 'G': 10057, 'H': 10058,
          'I': 10059, 'J': 10060, 'K': 10061, 'O': 10062, 'R': 10063, 'S': 10064, 'T': 10064}
FOOTER = ('<hr><p><small>See also: <a href="10010.html">NOSKRUN main window</a> &middot; '
          '<a href="10026.html">NOSKVIEW main window</a> &middot; <a href="10050.html">Model circuits</a> '
          '&middot; <a href="10200.html">Distributed elements</a></small></p>\n</body></html>\n')

# What a parameter of each element is, and its unit.
ROLES = {
    'R': [('resistance', '&Omega;')],
    'C': [('capacitance; 0 leaves the capacitor out', 'F')],
    'E': [('dielectric constant; the capacitance is p &middot; CELCAP; 0 leaves it out', '1')],
    'L': [('inductance', 'H')],
    'Q': [('CPE coefficient Q of Z = 1/(Q (i&omega;)<sup>&alpha;</sup>); 0 leaves it out',
           'F&middot;s<sup>&alpha;-1</sup>'), ('CPE exponent &alpha; (1: a capacitor, 0.5: diffusion)', '1')],
    'W': [('Warburg coefficient &sigma; of Z = &sigma;&radic;2/&radic;(i&omega;)', '&Omega;&middot;s<sup>-1/2</sup>')],
    'Ws': [('diffusion resistance R (transmissive end)', '&Omega;'), ('diffusion time constant &tau;', 's')],
    'Wo': [('diffusion resistance R (reflecting end)', '&Omega;'), ('diffusion time constant &tau;', 's')],
    'G': [('Gerischer coefficient Z0 of Z = Z0/&radic;(k + i&omega;)', '&Omega;&middot;s<sup>-1/2</sup>'),
          ('Gerischer rate constant k', 's<sup>-1</sup>')],
    'TLM': [('ionic resistance r of the transmission line (whole pore length)', '&Omega;')],
}
DE_SLOTS = ['R', 'T', 'U', 'PHI']

# What a parameter stands for in the cell each letter models.
MEANING = {
    'A': {1: 'series resistance', 2: 'series capacitance', 3: 'series inductance',
          4: 'parallel capacitance across the whole chain (for example the geometric capacitance)'},
    'B': {1: 'solution (series) resistance', 2: 'double-layer capacitance', 3: 'lead inductance',
          4: 'charge-transfer resistance'},
    'C': {1: 'solution resistance', 2: 'double-layer capacitance (0 when the CPE of p10 stands for it)',
          3: 'lead inductance', 4: 'charge-transfer resistance', 10: 'DE 2 here is the CPE double layer',
          15: 'the diffusion DE in series with the charge transfer'},
    'D': {1: 'series resistance', 2: 'series capacitance', 3: 'series inductance'},
    'E': {26: 'series resistance', 27: 'series inductance', 28: 'series capacitance'},
    'F': {5: 'series resistance', 1: 'bulk resistance', 2: 'bulk capacitance',
          3: 'resistance in series with DE1', 4: 'resistance in series with DE2'},
    'G': {1: 'solution resistance outside the pores', 3: 'lead inductance',
          4: 'ionic resistance of the electrolyte in the pores', 5: 'double-layer CPE coefficient',
          6: 'charge-transfer resistance of the pore walls', 7: 'double-layer CPE exponent'},
    'H': {11: 'series resistance', 12: 'bulk capacitance', 13: 'lead inductance',
          14: 'grain-boundary capacitance', 5: 'DE1: bulk response', 10: 'DE2: grain-boundary response'},
    'I': {1: 'solution resistance', 2: 'double-layer capacitance', 3: 'lead inductance',
          4: 'charge-transfer resistance', 6: 'Gerischer coefficient', 7: 'Gerischer rate constant'},
    'J': {1: 'solution resistance', 2: 'film capacitance', 3: 'lead inductance', 4: 'film (pore) resistance',
          5: 'double-layer capacitance of the interface under the film'},
    'K': {1: 'series resistance', 2: 'series capacitance', 3: 'series inductance'},
    'O': {1: 'resistance in series with the conductive-system DE', 2: '&epsilon;&infin;, the bulk dielectric constant',
          6: 'ETAU = p6/(CELCAP p5) is the dielectric constant of the conductive relaxation',
          9: 'for a KWW response (DE 10) the exponent &beta;', 10: 'conductive-system dispersion',
          20: 'dielectric-system dispersion', 25: 'electrode effects'},
    'R': {1: 'solution resistance', 2: 'double-layer capacitance', 3: 'lead inductance',
          4: 'charge-transfer resistance', 5: 'Warburg coefficient of semi-infinite diffusion'},
    'S': {1: 'ohmic resistance of the cell', 3: 'lead inductance', 4: 'resistance of the first arc (SEI)',
          5: 'CPE coefficient of the first arc', 6: 'CPE exponent of the first arc',
          7: 'resistance of the second arc (charge transfer)', 8: 'CPE coefficient of the second arc',
          9: 'CPE exponent of the second arc', 10: 'CPE coefficient of the low-frequency (diffusion) tail',
          11: 'CPE exponent of the tail (0.5 for ideal diffusion)'},
    'T': {1: 'solution resistance', 2: 'double-layer CPE coefficient', 3: 'lead inductance',
          4: 'charge-transfer resistance', 5: 'double-layer CPE exponent', 6: 'diffusion resistance',
          7: 'diffusion time constant L<sup>2</sup>/D'},
}


def tokenize(text):
    return re.findall(r'par\(|TLM\(|DE\(|Ws\(|Wo\(|[RCELQWG]\(|p\d+|[(),:-]', text)


class Parser:
    """The circuit language as the engine reads it, into nested tuples:
    ('series', [parts]), ('par', [branches]), ('el', name, [refs]), ('TLM', ref, sub),
    ('DE', selector, [R, T, U, PHI])."""

    def __init__(self, text):
        self.t = tokenize(text)
        self.i = 0

    def peek(self):
        return self.t[self.i] if self.i < len(self.t) else None

    def take(self, expected=None):
        tok = self.t[self.i]
        self.i += 1
        assert expected is None or tok == expected, (tok, expected)
        return tok

    def ref(self):
        return int(self.take()[1:])

    def series(self):
        parts = [self.part()]
        while self.peek() == '-':
            self.take()
            parts.append(self.part())
        return parts[0] if len(parts) == 1 else ('series', parts)

    def part(self):
        tok = self.take()
        name = tok[:-1]
        if name == 'par':
            branches = [self.series()]
            while self.peek() == ',':
                self.take()
                branches.append(self.series())
            self.take(')')
            return ('par', branches)
        if name == 'TLM':
            r = self.ref()
            self.take(',')
            sub = self.series()
            self.take(')')
            return ('TLM', r, sub)
        if name == 'DE':
            sel = self.ref()
            if self.peek() == ':':
                self.take()
                refs = [self.ref()]
                for _ in range(3):
                    self.take(',')
                    refs.append(self.ref())
            else:
                refs = [sel - 4, sel - 3, sel - 2, sel - 1]
            self.take(')')
            return ('DE', sel, refs)
        refs = [self.ref()]
        while self.peek() == ',':
            self.take()
            refs.append(self.ref())
        self.take(')')
        return ('el', name, refs)


# --- the text drawing: each node becomes (lines, wire row) ----------------
def box(label):
    return ['-[' + label + ']-'], 0


def draw(node, subs):
    kind = node[0]
    if kind == 'el':
        return box(node[1] + ' ' + ','.join('p%d' % r for r in node[2]))
    if kind == 'DE':
        return box('DE p%d' % node[1])
    if kind == 'TLM':
        subs.append(node)
        return box('TLM p%d, z%d' % (node[1], len(subs)))
    if kind == 'series':
        drawings = [draw(p, subs) for p in node[1]]
        above = max(w for _, w in drawings)
        below = max(len(l) - w - 1 for l, w in drawings)
        rows = [''] * (above + below + 1)
        for lines, w in drawings:
            width = max(len(s) for s in lines)
            for r in range(len(rows)):
                k = r - (above - w)
                s = lines[k] if 0 <= k < len(lines) else ''
                rows[r] += s.ljust(width, '-' if r == above else ' ')
        return rows, above
    # par: branches stacked, joined by vertical bars at both ends
    drawings = [draw(b, subs) for b in node[1]]
    width = max(max(len(s) for s in l) for l, _ in drawings)
    rows, wires = [], []
    for n, (lines, w) in enumerate(drawings):
        if n:
            rows.append('')
        wires.append(len(rows) + w)
        for r, s in enumerate(lines):
            rows.append(s.ljust(width, '-' if r == w else ' '))
    first, last = wires[0], wires[-1]
    out = []
    for r, s in enumerate(rows):
        s = s.ljust(width)
        edge = '+' if r in wires else ('|' if first < r < last else ' ')
        lead = '-' if r == first else ' '
        out.append(lead + edge + s + edge + lead)
    return out, first


def drawing(tree):
    subs = []
    lines, w = draw(tree, subs)
    lines = [('o-' if r == w else '  ') + s + ('-o' if r == w else '') for r, s in enumerate(lines)]
    n = 0
    while n < len(subs):
        sub = subs[n]
        n += 1
        sl, sw = draw(sub[2], subs)
        lines.append('')
        lines.append('z%d, the interface impedance of TLM p%d (of the whole pore wall):' % (n, sub[1]))
        lines += [('o-' if r == sw else '  ') + s + ('-o' if r == sw else '') for r, s in enumerate(sl)]
    return '\n'.join(s.rstrip() for s in lines)


def roles(tree, out, de_count):
    kind = tree[0]
    if kind in ('series', 'par'):
        for p in tree[1]:
            roles(p, out, de_count)
    elif kind == 'TLM':
        out.setdefault(tree[1], []).append(('TLM r: ' + ROLES['TLM'][0][0], ROLES['TLM'][0][1]))
        roles(tree[2], out, de_count)
    elif kind == 'DE':
        de_count[0] += 1
        n = de_count[0]
        out.setdefault(tree[1], []).append(('selector of DE%d: the number of its distributed element, never '
                                            'fitted; code "sub" subtracts it' % n, 'DE number'))
        for slot, r in zip(DE_SLOTS, tree[2]):
            out.setdefault(r, []).append(('%s of DE%d (meaning and unit as the chosen DE defines them)'
                                          % (slot, n), 'see DE'))
    else:
        for (meaning, unit), r in zip(ROLES[tree[1]], tree[2]):
            out.setdefault(r, []).append((tree[1] + ': ' + meaning, unit))


def read_definitions():
    defs, comment = [], []
    with open(os.path.join(ROOT, 'model', 'circuits.txt')) as f:
        for line in f:
            line = line.rstrip('\n')
            if line.startswith('#'):
                text = line[1:].strip()
                if text and not line.startswith('#  ') and ':' not in text[:12]:
                    comment.append(text)
                continue
            m = re.match(r'([A-Z]) = (.*)', line)
            if m:
                defs.append((m.group(1), m.group(2).strip(), ' '.join(comment)))
            comment = []
    return defs


def examples(letter):
    folder = os.path.join(ROOT, 'fittests', 'CKT.' + letter)
    out = []
    if os.path.isdir(folder):
        for name in sorted(os.listdir(folder)):
            with open(os.path.join(folder, name), encoding='latin-1') as f:
                first = f.readline().strip()
            out.append((name, first))
    return out


def letter_section(letter, text, about):
    tree = Parser(text).series()
    table = {}
    roles(tree, table, [0])
    e = html.escape
    s = ['<h3>Circuit %s: %s</h3>' % (letter, e(about))]
    s.append('<p>Definition: <code>%s = %s</code></p>' % (letter, e(text)))
    s.append('<pre>\n%s\n</pre>' % e(drawing(tree)))
    s.append('<table border="1" cellpadding="3" cellspacing="0">')
    s.append('<tr><th>Parameter</th><th>Meaning</th><th>Unit</th></tr>')
    for r in sorted(table):
        meaning = '; '.join(m for m, _ in table[r])
        if r in MEANING.get(letter, {}):
            meaning = '<b>%s</b> &mdash; %s' % (MEANING[letter][r], meaning)
        unit = ', '.join(dict.fromkeys(u for _, u in table[r]))
        s.append('<tr><td>p%d</td><td>%s</td><td>%s</td></tr>' % (r, meaning, unit))
    s.append('</table>')
    used = max(table) if table else 0
    s.append('<p>Parameters not listed are unused by this circuit. N must reach p%d; a parameter at or beyond '
             'N counts as 0.</p>' % used)
    ex = examples(letter)
    if ex:
        s.append('<p>Example jobs (<b>Load TST...</b> opens them; those with a DE are also under <b>Help &gt; DE examples...</b>; they are in '
                 '<code>fittests/CKT.%s</code>):</p><ul>' % letter)
        for name, description in ex:
            s.append('<li><code>%s</code>: %s</li>' % (name, e(description)))
        s.append('</ul>')
    return '\n'.join(s)


def page(title, body):
    return ('<html><head><meta charset="utf-8"><title>%s</title></head><body>\n<h2>%s</h2>\n%s\n' %
            (title, title, body)) + FOOTER


def main():
    defs = read_definitions()
    by_topic = {}
    for letter, text, about in defs:
        by_topic.setdefault(TOPICS[letter], []).append((letter, text, about))
    for topic, items in by_topic.items():
        letters = [l for l, _, _ in items]
        title = ('Model circuit ' + letters[0]) if len(letters) == 1 else \
            ('Model circuits ' + ' and '.join(letters))
        intro = ('<p>The bundled engine computes this circuit through its circuit language (see '
                 '<a href="10050.html">Model circuits</a>). The line below the FUN list on the Fitting options '
                 'page shows the definition in force; a file <code>CIRCUITS</code> in the work folder may '
                 'replace it. Capacitive elements (C, E, Q) of value 0 are left out; a zero resistance or '
                 'DE 0 is a short circuit; DE 2 with T = 0 leaves a parallel DE slot open.</p>')
        body = intro + '\n' + '\n'.join(letter_section(*item) for item in items)
        with open(os.path.join(ROOT, 'help', '%d.html' % topic), 'w') as f:
            f.write(page(title, body))

    e = html.escape
    rows = '\n'.join('<tr><td><a href="%d.html">%s</a></td><td>%s</td><td><code>%s</code></td></tr>' %
                     (TOPICS[l], l, e(a), e(t)) for l, t, a in defs)
    elements = '\n'.join([
        '<tr><td><code>R(p)</code></td><td>resistor, Z = p</td></tr>',
        '<tr><td><code>C(p)</code></td><td>capacitor, Z = 1/(i&omega;p)</td></tr>',
        '<tr><td><code>E(p)</code></td><td>capacitor of p &middot; CELCAP (p a dielectric constant)</td></tr>',
        '<tr><td><code>L(p)</code></td><td>inductor, Z = i&omega;p</td></tr>',
        '<tr><td><code>Q(pQ,p&alpha;)</code></td><td>constant phase element, Z = 1/(Q (i&omega;)<sup>&alpha;</sup>)</td></tr>',
        '<tr><td><code>W(p)</code></td><td>semi-infinite Warburg, Z = &sigma;&radic;2/&radic;(i&omega;)</td></tr>',
        '<tr><td><code>Ws(pR,p&tau;)</code></td><td>finite Warburg, transmissive end, Z = R tanh(&radic;(i&omega;&tau;))/&radic;(i&omega;&tau;)</td></tr>',
        '<tr><td><code>Wo(pR,p&tau;)</code></td><td>finite Warburg, reflecting end, Z = R coth(&radic;(i&omega;&tau;))/&radic;(i&omega;&tau;)</td></tr>',
        '<tr><td><code>G(pZ0,pk)</code></td><td>Gerischer, Z = Z0/&radic;(k + i&omega;)</td></tr>',
        '<tr><td><code>TLM(pr, z)</code></td><td>transmission line with ionic resistance r and the interface circuit z, Z = &radic;(r z) coth(&radic;(r/z))</td></tr>',
        '<tr><td><code>DE(pN)</code></td><td>the distributed element whose number pN holds, with R, T, U, PHI from the four parameters before it</td></tr>',
        '<tr><td><code>DE(pN: pR,pT,pU,pPHI)</code></td><td>the same with R, T, U, PHI named</td></tr>',
    ])
    body = '''<p>The model function <code>FUN</code> on the <a href="10014.html">Fitting options</a> page chooses the
model circuit the engine fits. The engine computes the model as an impedance Z(&omega;) at the angular
frequency &omega; and converts it to the fit system (<code>DFIT</code>, <code>PFIT</code>) before it forms
the residuals. p1 &hellip; p50 are the job's parameters counted from 1; a parameter at or beyond
<code>N</code> counts as 0. The line below the FUN list shows the chosen circuit's definition (its tooltip
holds it whole).</p>
<p>Some parameters do not hold a value to fit but the number of a <a href="10200.html">distributed element
(DE)</a>; the four parameters just before such a selector are that DE's R, T, U and PHI. DE 0 is an empty
slot (a short circuit), so unused slots cost nothing.</p>
<h3>The fifteen circuits</h3>
<table border="1" cellpadding="3" cellspacing="0">
<tr><th>FUN</th><th>Circuit</th><th>Definition</th></tr>
%s
</table>
<h3>The circuit language</h3>
<p>Every circuit is one line: parts joined by <code>-</code> are in series (impedances add),
<code>par(a, b, ...)</code> puts branches in parallel (admittances add), and parameters are written
<code>p1</code> &hellip; <code>p50</code>. The elements:</p>
<table border="1" cellpadding="3" cellspacing="0">
<tr><th>Element</th><th>Impedance</th></tr>
%s
</table>
<p>A capacitive element (C, E, Q) whose value is 0 is left out: in a series it adds nothing, in a parallel
group it adds no branch. A branch of infinite impedance adds no admittance, and a parallel group holding a
branch of zero impedance (a zero resistance, DE 0) is a short circuit.</p>
<h3>Your own circuits: the CIRCUITS file</h3>
<p>A text file named <code>CIRCUITS</code> in the work folder, written in the same language
(<code>S = R(p1)-par(R(p2), Q(p3,p4))</code>, one definition a line, <code>#</code> starts a comment),
replaces the built-in circuits letter by letter. The Fitting options page then shows that definition and
puts the DE links where its <code>DE(...)</code> selectors are. A line the engine cannot read refuses
the job with the file, line, column and what was expected, for example
<b>CIRCUITS, line 2, column 11: expected an element, found the end of the line</b>. The built-in
definitions are installed beside this help as <code>circuits.txt</code>.</p>
''' % (rows, elements)
    with open(os.path.join(ROOT, 'help', '10050.html'), 'w') as f:
        f.write(page('Model circuits', body))


if __name__ == '__main__':
    main()
