--TEST--
Received arrays are separated before a write; by-reference arguments and references inside arrays are written through, as in PHP
--FILE--
<?php
function php_with_total(array $a) { $a["total"] = php_sum($a); return $a; }
function php_sum(array $a) { $s = 0; foreach ($a as $v) { $s += is_array($v) ? php_sum($v) : $v; } return $s; }
function php_increment_refs(array $a) { foreach ($a as $k => $_) { $a[$k]++; } return $a; }
function php_link(&$v) { return [&$v]; }

$values = [1, 2, "x" => 3];
$ours = corvane_with_total($values);
var_dump($ours === php_with_total($values));
var_dump($values === [1, 2, "x" => 3]);
var_dump($ours);

$x = 10; $y = 10;
$mine = [&$x, 5, "k" => 7];
$theirs = [&$y, 5, "k" => 7];
$ours = corvane_increment_refs($mine);
$php = php_increment_refs($theirs);
var_dump($x === $y, $x, $mine[1], $ours === $php);
var_dump($ours);

$n = 41; $m = 41;
corvane_increment($n);
$m += 1;
var_dump($n === $m, $n);
corvane_increment($n, -50);
var_dump($n);

$v = 1; $w = 1;
$linked = corvane_link($v);
$phpLinked = php_link($w);
$linked[0] = 99; $phpLinked[0] = 99;
var_dump($v === $w, $v);

var_dump(corvane_sum([1, [2, [3.5]], -4]) === php_sum([1, [2, [3.5]], -4]));
var_dump(corvane_sum([PHP_INT_MAX, 1]) === php_sum([PHP_INT_MAX, 1]));

// Appending into a by-reference array that another variable shares: only the caller's changes.
function php_append(array &$to, array $from) { foreach ($from as $v) { $to[] = $v; } }
$x = 5;
$from = ["a", &$x, [1]];
$mine = [0]; $kept = $mine;
$theirs = [0];
corvane_append($mine, $from);
php_append($theirs, $from);
var_dump($mine === $theirs, $kept === [0], $mine[2]);
$literal = [];  // immutable: separated into the variable first
corvane_append($literal, [1, 2]);
var_dump($literal === [1, 2]);
?>
--EXPECT--
bool(true)
bool(true)
array(4) {
  [0]=>
  int(1)
  [1]=>
  int(2)
  ["x"]=>
  int(3)
  ["total"]=>
  int(6)
}
bool(true)
int(11)
int(5)
bool(true)
array(3) {
  [0]=>
  &int(11)
  [1]=>
  int(6)
  ["k"]=>
  int(8)
}
bool(true)
int(42)
int(-8)
bool(true)
int(99)
bool(true)
bool(true)
bool(true)
bool(true)
int(5)
bool(true)
