--TEST--
corvane_dump called by __debugInfo while var_dump walks the same array keeps var_dump's mark
--FILE--
<?php
class Probe {
    public function __debugInfo() {
        global $a;
        corvane_dump($a);
        return [];
    }
}
$a = [new Probe];
$a[] = &$a;
var_dump($a);
echo "again\n";
var_dump($a);
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
