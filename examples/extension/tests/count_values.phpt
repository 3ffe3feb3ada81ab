--TEST--
corvane_count_values counts as array_count_values does, with PHP's key rules, other values skipped with its warning, and corvane_count_words as well
--FILE--
<?php
$values = ["apple", "42", 42, "-5", "007", "-0", "42 ", "9223372036854775808", "", "apple", -5, "9223372036854775807"];
$ours = corvane_count_values($values);
var_dump($ours === array_count_values($values));
var_dump($ours);
$text = "7 x 07 7 -1 x 7 the 0 -0";
var_dump(corvane_count_words($text) === array_count_values(array_filter(explode(" ", $text), "strlen")));
$x = "ref";
$withRef = ["ref", &$x, "ref"];
var_dump(corvane_count_values($withRef) === array_count_values($withRef));
// Other values are skipped with a warning, which @ silences.
$mixed = ["a", 1.5, true, null, [1], new stdClass, STDIN, "a", 7];
$ours = @corvane_count_values($mixed);
var_dump($ours === @array_count_values($mixed), $ours);
// The warnings are compared with array_count_values's own, whose words differ between PHP versions.
$warnings = [];
set_error_handler(function ($level, $message) use (&$warnings) {
    $warnings[] = [$level, substr($message, strpos($message, "(): "))];
    return true;
});
var_dump(corvane_count_values($mixed) === array_count_values($mixed));
var_dump(count($warnings), array_slice($warnings, 0, 6) === array_slice($warnings, 6), $warnings[0][0] === E_WARNING);
?>
--EXPECT--
bool(true)
array(9) {
  ["apple"]=>
  int(2)
  [42]=>
  int(2)
  [-5]=>
  int(2)
  ["007"]=>
  int(1)
  ["-0"]=>
  int(1)
  ["42 "]=>
  int(1)
  ["9223372036854775808"]=>
  int(1)
  [""]=>
  int(1)
  [9223372036854775807]=>
  int(1)
}
bool(true)
bool(true)
bool(true)
array(2) {
  ["a"]=>
  int(2)
  [7]=>
  int(1)
}
bool(true)
int(12)
bool(true)
bool(true)
