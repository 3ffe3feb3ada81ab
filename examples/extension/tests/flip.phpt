--TEST--
corvane_flip flips as array_flip does: PHP's key rules, references read through, other values skipped with its warning
--FILE--
<?php
set_error_handler(function ($level, $message) { echo "warning: $message\n"; return true; });
$x = "by reference";
$values = ["a" => "1", "b" => 2, "c" => "07", 10 => "a", "d" => &$x, "e" => "-3", "f" => "", "g" => 2];
$ours = corvane_flip($values);
var_dump($ours === array_flip($values));
var_dump($ours);
var_dump(corvane_flip([1.5, "k"]) === array_flip([1.5, "k"]));
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
warning: corvane_flip(): Can only flip string and integer values, entry skipped
warning: array_flip(): Can only flip string and integer values, entry skipped
bool(true)
