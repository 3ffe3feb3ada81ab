<?php
// The real-engine benchmark: the example extension's functions (corvane) beside their raw-macro
// twins (corvane_raw_twins) and PHP's builtins, on the same inputs, in the PHP that runs this.
// Prints a markdown table of the best time of each over the runs, and checks first that all three
// give identical results. Run by bench/extension/run.
$runs = (int)($argv[1] ?? 9);
// With a case number and a function name: builds that case's input (sized by the third argument)
// and calls the function once, for instruction counts under callgrind (bench/extension/run
// --instructions).
$only = $argv[2] ?? null;
$size = (int)($argv[4] ?? 1000000);

function words(int $n, int $distinct, string $prefix): array {
    $words = [];
    for ($i = 0; $i < $n; $i++) {
        $words[] = $prefix . (($i * 7919) % $distinct);
    }
    // Fresh strings, as explode() gives them: no cached hash, one string each.
    return explode(" ", implode(" ", $words));
}

$cases = [
    ["count_values: 1M words, 10 distinct", "array_count_values", "raw_count_values", "corvane_count_values",
        words($size, 10, "word")],
    ["count_values: 1M words, 100,000 distinct", "array_count_values", "raw_count_values", "corvane_count_values",
        words($size, 100000, "word")],
    ["count_values: 1M numeric words (\"0\"…\"999\")", "array_count_values", "raw_count_values", "corvane_count_values",
        words($size, 1000, "")],
    ["count_values: 1M integers, 1,000 distinct", "array_count_values", "raw_count_values", "corvane_count_values",
        array_map(function ($i) { return ($i * 7919) % 1000; }, range(0, $size - 1))],
    ["flip: 1M distinct words", "array_flip", "raw_flip", "corvane_flip", words($size, 1000000, "w")],
    ["flip: 1M integers", "array_flip", "raw_flip", "corvane_flip", range(0, $size - 1)],
    ["count_words: 1M words, 10 distinct", null, "raw_count_words", "corvane_count_words",
        implode(" ", words($size, 10, "word"))],
    ["count_words: 1M numeric words", null, "raw_count_words", "corvane_count_words",
        implode(" ", words($size, 1000, ""))],
    ["append to a by-reference array: 1M integers", null, "raw_append", "corvane_append", range(0, $size - 1)],
    ["append to a by-reference array: 1M strings", null, "raw_append", "corvane_append", words($size, 1000000, "s")],
    ["sum of nested arrays: 1M integers, flat", null, "raw_sum", "corvane_sum", range(0, $size - 1)],
    ["sum of nested arrays: 1M × [i, [i * 0.5]]", null, "raw_sum", "corvane_sum",
        array_map(function ($i) { return [$i, [$i * 0.5]]; }, range(0, $size - 1))],
];

// A by-reference function appends to a fresh array, which is its result; the others return theirs.
function call_case($function, $input) {
    if (is_string($function) && substr($function, -7) === "_append") {
        $to = [];
        $function($to, $input);
        return $to;
    }
    return $function($input);
}

if ($only !== null) {
    $case = $cases[(int)$only];
    $function = $argv[3];
    call_case($function, $case[4]);
    exit(0);
}

function best(callable $f, $input, int $runs): float {
    $best = INF;
    for ($i = 0; $i < $runs; $i++) {
        $start = hrtime(true);
        $result = call_case($f, $input);
        $elapsed = hrtime(true) - $start;
        unset($result);
        $best = min($best, $elapsed / 1e6);
    }
    return $best;
}

echo "| case | PHP builtin (ms) | raw macros (ms) | corvane (ms) | corvane / raw | corvane / builtin |\n";
echo "|---|---|---|---|---|---|\n";
foreach ($cases as [$name, $builtin, $raw, $ours, $input]) {
    $expected = call_case($raw, $input);
    if (call_case($ours, $input) !== $expected || ($builtin && $builtin($input) !== $expected)) {
        fwrite(STDERR, "$name: results differ\n");
        exit(1);
    }
    // Interleaved, so that drift of the machine's speed falls on all three alike.
    $times = ["builtin" => INF, "raw" => INF, "ours" => INF];
    for ($round = 0; $round < $runs; $round++) {
        if ($builtin) $times["builtin"] = min($times["builtin"], best($builtin, $input, 1));
        $times["raw"] = min($times["raw"], best($raw, $input, 1));
        $times["ours"] = min($times["ours"], best($ours, $input, 1));
    }
    printf("| %s | %s | %.1f | %.1f | %.2f× | %s |\n", $name,
        $builtin ? sprintf("%.1f", $times["builtin"]) : "—", $times["raw"], $times["ours"],
        $times["ours"] / $times["raw"], $builtin ? sprintf("%.2f×", $times["ours"] / $times["builtin"]) : "—");
}
