--TEST--
(PHP 7.3) corvane_dump inside array_walk_recursive leaves the walk's recursion mark as it found it
--SKIPIF--
<?php if (PHP_VERSION_ID >= 80000) echo "skip PHP 7.3's var_dump; dump_in_array_walk_recursive.phpt is the PHP 8 twin";
--FILE--
<?php
// array_walk_recursive marks each array it descends into and stops when it reaches a marked one
// again; var_dump reads the same mark. A dump in the callback must leave the mark set. (A dump
// that cleared it would send the walk round the array until the stack ran out: cut short.)
// The expected text is PHP 7.3's: its array_walk_recursive warns instead of throwing, and its
// var_dump does not look at the mark of the array it is given, only at those of nested ones, so
// the second var_dump shows *RECURSION* one level down only when the dump left the mark set.
set_error_handler(function ($level, $message) { echo "warning: $message\n"; return true; });
$a = [1];
$a[] = &$a;
$calls = 0;
try {
    array_walk_recursive($a, function () use (&$a, &$calls) {
        if (++$calls > 2) exit("the walk went round again\n");
        corvane_dump($a);
        var_dump($a);
    });
} catch (Error $e) {
    echo get_class($e), ": ", $e->getMessage(), "\n";
}
var_dump($a);
$a = null;  // breaks the cycle: nothing is left for a leak check at exit
?>
--EXPECT--
array(2) {
  [0]=>
  REFERENCE
  [1]=>
  REFERENCE
}
array(2) {
  [0]=>
  &int(1)
  [1]=>
  &array(2) {
    [0]=>
    &int(1)
    [1]=>
    *RECURSION*
  }
}
array(2) {
  [0]=>
  REFERENCE
  [1]=>
  REFERENCE
}
array(2) {
  [0]=>
  &int(1)
  [1]=>
  *RECURSION*
}
warning: array_walk_recursive(): recursion detected
array(2) {
  [0]=>
  int(1)
  [1]=>
  &array(2) {
    [0]=>
    int(1)
    [1]=>
    *RECURSION*
  }
}
