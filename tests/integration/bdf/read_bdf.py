# Reads a BDF file with nothing but the csv module, as a lab's script would, and prints what
# the test compares with the journal.
import csv, json, sys

NEVER_DECREASING = ['Test Time / s', 'Cycle Count / 1', 'Step Count / 1',
                    'Charging Capacity / Ah', 'Discharging Capacity / Ah',
                    'Charging Energy / Wh', 'Discharging Energy / Wh']

with open(sys.argv[1], newline='', encoding='utf-8') as f:
    reader = csv.DictReader(f, strict=True)
    rows = list(reader)
    labels = reader.fieldnames

steps = []
for row in rows:
    current = float(row['Current / A'])
    if not steps or steps[-1]['step'] != int(row['Step Count / 1']):
        steps.append({'step': int(row['Step Count / 1']), 'cycle': int(row['Cycle Count / 1']),
                      'type': row['Step Type'], 'rows': 0, 'min_A': current, 'max_A': current})
    step = steps[-1]
    step['rows'] += 1
    step['min_A'] = min(step['min_A'], current)
    step['max_A'] = max(step['max_A'], current)

print(json.dumps({
    'labels': labels,
    'rows': len(rows),
    # DictReader gives a row too long a None key, a row too short None values.
    'ragged': sum(1 for r in rows if None in r or None in r.values()),
    'decreasing': [c for c in NEVER_DECREASING
                   if any(float(a[c]) > float(b[c]) for a, b in zip(rows, rows[1:]))],
    'rin_rows': sum(1 for r in rows if r['Internal Resistance / ohm'] != ''),
    'steps': steps,
    'last': rows[-1],
}))
