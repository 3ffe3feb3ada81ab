--TEST--
corvane_dump writes corvane's dump of any value, through PHP's output layer (ob_start catches it)
--FILE--
<?php
corvane_dump(corvane_nested());
corvane_dump("text");
corvane_dump(0.1);
corvane_dump(new stdClass);
$self = [1];
$self[] = &$self;
corvane_dump($self);
$self = null;  // breaks the cycle: nothing is left for a leak check at exit
ob_start();
corvane_dump([1, "two"]);
echo "in order with echo\n";
$caught = ob_get_clean();
echo "caught ", strlen($caught), " bytes:\n", strtoupper($caught);
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
    double(1.5)
    [1]=>
    bool(true)
  }
  [1]=>
  NULL
}
string(4) "text"
double(0.1)
OBJECT
array(2) {
  [0]=>
  int(1)
  [1]=>
  REFERENCE
}
caught 75 bytes:
ARRAY(2) {
  [0]=>
  INT(1)
  [1]=>
  STRING(3) "TWO"
}
IN ORDER WITH ECHO
