--TEST--
corvane_nested returns a nested array the engine owns
--FILE--
<?php
$a = corvane_nested();
var_dump($a);
$b = $a;
$b["list"][] = "more";
var_dump(count($a["list"]), count($b["list"]));
?>
--EXPECT--
array(4) {
  ["name"]=>
  string(3) "abc"
  [0]=>
  int(42)
  ["list"]=>
  array(2) {
    [0]=>
    float(1.5)
    [1]=>
    bool(true)
  }
  [1]=>
  NULL
}
int(2)
int(3)
