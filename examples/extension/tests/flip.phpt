--TEST--
corvane_flip flips as array_flip does: PHP's key rules, references read through, other values skipped with its warning
--FILE--
<?php
// The warnings are compared with array_flip's own, whose words differ between PHP versions.
$warnings = [];
set_error_handler(function ($level, $message) use (&$warnings) {
    $warnings[] = [$level, substr($message, strpos($message, "(): "))];
    return true;
});
$x = "by reference";
$values = ["a" => "1", "b" => 2, "c" => "07", 10 => "a", "d" => &$x, "e" => "-3", "f" => "", "g" => 2];
$ours = corvane_flip($values);
var_dump($ours === array_flip($values));
var_dump($ours);
var_dump(corvane_flip([1.5, "k"]) === array_flip([1.5, "k"]));
var_dump(count($warnings), $warnings[0] === $warnings[1], $warnings[0][0] === E_WARNING);
?>
--EXPECT--
bool(true)
array(7) {
  [1]=>
  string(1) "a"
  [2]=>
  string(1) "g"
  ["07"]=>
  string(1) "c"
  ["a"]=>
  int(10)
  ["by reference"]=>
  string(1) "d"
  [-3]=>
  string(1) "e"
  [""]=>
  string(1) "f"
}
bool(true)
int(2)
bool(true)
bool(true)
