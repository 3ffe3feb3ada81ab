--TEST--
corvane_dump writes an array nested 20,000 deep on PHP's default stack (deeper than the recursive dump went), the text of its format
--SKIPIF--
<?php if (getenv("USE_ZEND_ALLOC") === "0") echo "skip under memcheck: over a gigabyte of indentation (the suite's deep dump runs there)";
--FILE--
<?php
// The text is counted as it leaves the output buffer, and dropped.
$depth = 20000;
$a = [];
for ($i = 0; $i < $depth; $i++) {
    $a = [$a];
}
$bytes = 0;
$lines = 0;
$tail = "";
ob_start(function ($chunk) use (&$bytes, &$lines, &$tail) {
    $bytes += strlen($chunk);
    $lines += substr_count($chunk, "\n");
    $tail = substr($tail . $chunk, -7);
    return "";
}, 1 << 20);
corvane_dump($a);
ob_end_flush();
// A level is a header and a key line at its indentation, and a closing line; the innermost array
// is empty; the dump ends with a newline.
$expected = 0;
for ($i = 0; $i < $depth; $i++) {
    $expected += (2 * $i + strlen("array(1) {\n")) + (2 * $i + 2 + strlen("[0]=>\n")) + strlen("\n") + 2 * $i + strlen("}");
}
$expected += 2 * $depth + strlen("array(0) {\n") + 2 * $depth + strlen("}") + strlen("\n");
var_dump($bytes === $expected, $lines === 3 * $depth + 2, $tail);
?>
--EXPECT--
bool(true)
bool(true)
string(7) "
  }
}
"
