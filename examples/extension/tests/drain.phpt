--TEST--
corvane_drain removes every element once, in order, from its own copy of a shared array
--FILE--
<?php
class Noisy {
    public $name;
    public function __construct($name) { $this->name = $name; }
    public function __destruct() { echo "destruct {$this->name}\n"; }
}
// A literal is the engine's immutable array: drained in a copy, the literal stays.
function letters() { return ["x" => 1, "y" => 2, "z" => 3]; }
$letters = letters();
var_dump(corvane_drain($letters), $letters, count(letters()));

// Shared with another variable: that one keeps its elements.
$shared = ["p" => new Noisy("p")];
$shared["q"] = new Noisy("q");
$copy = $shared;
var_dump(corvane_drain($shared), count($shared), count($copy));
unset($copy);

// A list (integer keys).
$list = [10, 20, 30];
$list[] = 40;
var_dump(corvane_drain($list), $list);

// The last reference to each element goes as it is removed.
$objects = ["r" => new Noisy("r"), "s" => new Noisy("s")];
var_dump(corvane_drain($objects));
?>
--EXPECT--
array(3) {
  [0]=>
  string(1) "x"
  [1]=>
  string(1) "y"
  [2]=>
  string(1) "z"
}
array(0) {
}
int(3)
array(2) {
  [0]=>
  string(1) "p"
  [1]=>
  string(1) "q"
}
int(0)
int(2)
destruct p
destruct q
array(4) {
  [0]=>
  int(0)
  [1]=>
  int(1)
  [2]=>
  int(2)
  [3]=>
  int(3)
}
array(0) {
}
destruct r
destruct s
array(2) {
  [0]=>
  string(1) "r"
  [1]=>
  string(1) "s"
}
