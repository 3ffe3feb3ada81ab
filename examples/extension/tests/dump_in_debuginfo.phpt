--TEST--
corvane_dump called by __debugInfo while var_dump walks the same array keeps var_dump's mark
--SKIPIF--
<?php if (PHP_VERSION_ID < 80000) echo "skip PHP 8's var_dump; dump_in_debuginfo_php73.phpt is the PHP 7.3 twin";
--FILE--
<?php
// var_dump marks the array while it walks it; it must still find the mark when it reaches the
// array again through the reference. (Without it, var_dump would descend until the stack ran out:
// cut short.) The expected text is PHP 8's: PHP 7.3's var_dump does not look at the mark of the
// array it is given.
class Probe {
    public function __debugInfo() {
        global $a, $calls;
        if (++$calls > 2) exit("var_dump went round again\n");
        corvane_dump($a);
        return [];
    }
}
$calls = 0;
$a = [new Probe];
$a[] = &$a;
var_dump($a);
echo "again\n";
var_dump($a);
$a = null;  // breaks the cycle: nothing is left for a leak check at exit
?>
--EXPECT--
array(2) {
  [0]=>
  array(2) {
  [0]=>
  OBJECT
  [1]=>
  REFERENCE
}
object(Probe)#1 (0) {
  }
  [1]=>
  *RECURSION*
}
again
array(2) {
  [0]=>
  array(2) {
  [0]=>
  OBJECT
  [1]=>
  REFERENCE
}
object(Probe)#1 (0) {
  }
  [1]=>
  *RECURSION*
}
